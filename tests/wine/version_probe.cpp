#include "version_probe.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "report.h"

namespace {

const char* const kStringNames[] = {"CompanyName",  "FileDescription", "FileVersion",
                                    "InternalName", "LegalCopyright",  "OriginalFilename",
                                    "ProductName",  "ProductVersion"};

std::string Dotted(DWORD most, DWORD least) {
  char text[64];
  snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", most >> 16, most & 0xFFFF, least >> 16,
           least & 0xFFFF);
  return text;
}

}  // namespace

void ReportVersionInfo(const char* program) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(program, &ignored);
  std::vector<char> data(size ? size : 1);
  if (!size || !GetFileVersionInfoA(program, 0, size, data.data())) {
    Report("version.found", 0);
    return;
  }
  Report("version.found", 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    Report("version.fixed_file", Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    Report("version.fixed_product", Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  WORD* translation = nullptr;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return;
  char table[32];
  snprintf(table, sizeof table, "%04X%04X", translation[0], translation[1]);
  Report("version.translation", table);
  for (const char* name : kStringNames) {
    std::string query = std::string("\\StringFileInfo\\") + table + "\\" + name;
    char* value = nullptr;
    if (VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
        value)
      Report(("version." + std::string(name)).c_str(), AnsiToUtf8(value));
  }
}
