// A version resource (VS_VERSIONINFO) rewritten with a publisher's strings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The keys a brand may set, and the longest value each may hold (UTF-16
// units, terminator not counted).
extern const char* const kVersionKeys[9];
constexpr size_t kMostVersionValue = 256;

bool IsVersionKey(const std::string& key);

// The dotted numbers that begin `text` ("1.2", "1.2.3.4 beta"), missing
// ones 0. False when `text` does not begin with a number, or a number
// passes 65535.
bool ParseDottedVersion(const std::string& text, uint16_t version[4]);

// `old` with each (key, UTF-8 value) of `changes` set: existing strings
// keep their places, new ones follow in the order of kVersionKeys. A
// FileVersion or ProductVersion string sets the fixed part's number too.
// Returns an empty string, or what is wrong with a change or with `old`.
std::string RewriteVersionResource(const std::vector<uint8_t>& old,
                                   const std::vector<std::pair<std::string, std::string>>& changes,
                                   std::vector<uint8_t>* out);
