#include "version_probe.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "report.h"

namespace {

const wchar_t* const kStringNames[] = {L"CompanyName",  L"FileDescription", L"FileVersion",
                                       L"InternalName", L"LegalCopyright",  L"OriginalFilename",
                                       L"ProductName",  L"ProductVersion",  L"Comments"};
std::string Dotted(DWORD most, DWORD least) {
  char text[64];
  snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", most >> 16, most & 0xFFFF, least >> 16,
           least & 0xFFFF);
  return text;
}

}  // namespace

void ReportVersionInfo(const wchar_t* program) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  std::vector<char> data(size ? size : 1);
  if (!size || !GetFileVersionInfoW(program, 0, size, data.data()))
    return Report("version.found", 0);
  Report("version.found", 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    Report("version.fixed_file", Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    Report("version.fixed_product", Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return;
  wchar_t table[32];
  swprintf(table, 32, L"%04X%04X", translation[0], translation[1]);
  for (const wchar_t* name : kStringNames) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
        value)
      Report(("version." + ToUtf8(name)).c_str(), ToUtf8(value));
  }
}
