// The program's version resource as Windows reads it (GetFileVersionInfoW),
// its strings reported in UTF-8.
#pragma once

// Reports version.fixed_file, version.fixed_product and version.<name> for
// each string of the first translation; version.found=0 without one.
void ReportVersionInfo(const wchar_t* program);
