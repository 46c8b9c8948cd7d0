#include "report.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

// Lines end in "\n" alone whatever the stream's mode would make of them.
void WriteLine(const std::string& line) {
  static bool binary = (_setmode(_fileno(stdout), _O_BINARY), true);
  (void)binary;
  fwrite(line.data(), 1, line.size(), stdout);
  fflush(stdout);
}

}  // namespace

std::string ToUtf8(const wchar_t* text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(length - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

std::string AnsiToUtf8(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::string();
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  return ToUtf8(wide.c_str());
}

void Report(const char* key, const std::string& value) {
  // A value never spans lines: the host parses one fact per line.
  std::string line = std::string(key) + "=";
  for (char c : value) line += (c == '\r' || c == '\n') ? ' ' : c;
  WriteLine(line + "\n");
}

void Report(const char* key, long long value) {
  Report(key, std::to_string(value));
}

void ReportHex(const char* key, unsigned long value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lX", value);
  Report(key, std::string(text));
}
