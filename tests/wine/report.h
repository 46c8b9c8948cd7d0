// The driver's output: one "key=value" line per fact, UTF-8, flushed at once
// so the host reads each line as it happens.
#pragma once

#include <windows.h>

#include <string>

std::string ToUtf8(const wchar_t* text);
std::string AnsiToUtf8(const char* text);

void Report(const char* key, const std::string& value);
void Report(const char* key, long long value);
void ReportHex(const char* key, unsigned long value);
