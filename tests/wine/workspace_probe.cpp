#include "workspace_probe.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "report.h"
#include "security_probe.h"

namespace {

constexpr char kSetupRecord[] = "QWSetup-received.txt";

// Reads the record's "name=value" lines; false when it cannot be read yet.
bool ReadSetupRecord(const std::string& path, std::vector<std::string>* lines) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  char line[1200];
  lines->clear();
  while (fgets(line, sizeof line, file)) lines->push_back(line);
  fclose(file);
  return !lines->empty();
}

// Reports each "name=value" line of the record as "setup.name=value".
void ReportSetupRecord(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    Report(("setup." + text.substr(0, equals)).c_str(),
           AnsiToUtf8(text.substr(equals + 1).c_str()));
  }
}

}  // namespace

std::string TemporaryFilesPath() {
  char path[MAX_PATH + 1] = "";
  GetTempPathA(sizeof path, path);
  return path;
}

std::set<std::string> ListWorkspaces() {
  std::set<std::string> names;
  std::string temporary = TemporaryFilesPath();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((temporary + "QW_*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      names.insert(temporary + found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::string NewWorkspace(const std::set<std::string>& before, const std::set<std::string>& after) {
  std::string created;
  int count = 0;
  for (const std::string& name : after)
    if (!before.count(name)) {
      created = name;
      count++;
    }
  return count == 1 ? created : std::string();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string UnixPathOf(const std::string& path) {
  typedef char*(CDECL * UnixFileName)(const wchar_t*);
  UnixFileName convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return std::string();
  wchar_t wide[MAX_PATH * 2] = L"";
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
  char* unixPath = convert(wide);
  if (!unixPath) return std::string();
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

void ReportWorkspace(const std::string& workspace, unsigned waitMilliseconds) {
  Report("workspace", AnsiToUtf8(workspace.c_str()));
  if (workspace.empty()) return;
  Report("workspace.unix", UnixPathOf(workspace));
  Report("workspace.package_copy_exists", FileExists(workspace + "\\QW.tmp"));
  ReportDirectoryAcl(workspace);
  std::string record = workspace + "\\" + kSetupRecord;
  // Under Wine a record just renamed into place can fail to open for a moment.
  std::vector<std::string> lines;
  for (unsigned waited = 0; !ReadSetupRecord(record, &lines) && waited < waitMilliseconds;
       waited += 100)
    Sleep(100);
  Report("setup.record", FileExists(record) ? "present" : "absent");
  ReportSetupRecord(lines);
}
