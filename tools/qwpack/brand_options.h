// qwpack pack's brand: the options that set it and the brand file
// (--brand FILE.json) that holds the same in version control.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "image/brand/brand.h"

struct BrandOptions {
  std::string brandFile;
  std::string name, nameChinese, icon, skin, barFill, executionLevel;
  std::vector<std::string> versionInfo;  // KEY=VALUE
  CLI::App* app = nullptr;
};

void AddBrandOptions(CLI::App& app, BrandOptions* options);

// The brand file's settings, then the options over them (version-info key
// by key), with every picture read. The brand file and the pictures are
// added to `inputs` (for the depfile). Returns an empty string, or every
// problem found, one per line.
std::string LoadBrand(const BrandOptions& options, Brand* brand, std::vector<std::string>* inputs);
