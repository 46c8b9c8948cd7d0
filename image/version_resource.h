// A Windows program's version resource (VERSIONINFO), read from the file
// without Windows: what Explorer's Properties show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

struct VersionResource {
  uint16_t fileVersion[4] = {0, 0, 0, 0};  // from the fixed part, most significant first
  uint16_t productVersion[4] = {0, 0, 0, 0};
  std::vector<std::pair<std::string, std::string>> strings;  // UTF-8, in the resource's order
};

// Reads the first version resource of the PE program `file` (any language).
// Returns an empty string, or why there is none: not a Windows program, no
// version resource, or one that is malformed. Reads only the headers and
// the resource's own bytes, so a launcher's package is never read.
std::string ReadVersionResource(FILE* file, VersionResource* version);

// The same from the resource's own bytes (VS_VERSIONINFO).
std::string ParseVersionResource(const std::vector<uint8_t>& data, VersionResource* version);

// "1.2.3.4"
std::string VersionText(const uint16_t version[4]);
