// A publisher's brand on a launcher: its names, icon, skin, bar fill,
// version strings and execution level, written into the launcher's
// resources before the package is appended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A file the brand takes, with the words that name it in messages
// ("--icon logo.ico").
struct BrandFile {
  std::string label;
  std::vector<uint8_t> bytes;
};

struct Brand {
  std::optional<std::string> name;         // UTF-8; also the Chinese name unless that is given
  std::optional<std::string> nameChinese;  // UTF-8
  std::optional<BrandFile> icon, skin, barFill;
  std::vector<std::pair<std::string, std::string>> versionInfo;  // key, UTF-8 value; later wins
  std::optional<std::string> executionLevel;

  bool Empty() const {
    return !name && !nameChinese && !icon && !skin && !barFill && versionInfo.empty() &&
           !executionLevel;
  }
};

// Checks every part of `brand` and rewrites the resources of `launcher`
// with it. Returns an empty string, or every problem found, one per line;
// `launcher` is then unchanged. The same brand and launcher always give the
// same bytes.
std::string ApplyBrand(const Brand& brand, std::vector<uint8_t>* launcher);

// What a launcher carries of a brand, for qwpack list.
struct BrandSummary {
  std::string name, nameChinese;  // UTF-8; empty when the string table has none
  std::string executionLevel;     // from the manifest; empty without one
  // Whether the icon, skin and bar fill are the project's own pictures.
  bool defaultIcon = false, defaultSkin = false, defaultBarFill = false;
};

// Returns an empty string, or why the launcher's resources cannot be read.
std::string ReadBrandSummary(const std::vector<uint8_t>& launcher, BrandSummary* summary);
