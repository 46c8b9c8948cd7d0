// The example product's setup program. The launcher starts it from the
// workspace; it records what it received in QWSetup-received.txt beside
// itself and exits at once, so an unattended run never waits on it. With
// QWSETUP_SHOW=1 in the environment it also shows the record in a message box.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kRecordName[] = "QWSetup-received.txt";

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Lists the files below `directory` with their sizes, paths relative to `root`.
void ListFiles(const std::string& root, const std::string& relative, std::string* out) {
  std::string pattern = root + (relative.empty() ? "" : "\\" + relative) + "\\*";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == ".." || name == kRecordName) continue;
    std::string path = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(root, path, out);
    } else {
      char line[400];
      snprintf(line, sizeof line, "file=%s %lu\r\n", path.c_str(),
               static_cast<unsigned long>(found.nFileSizeLow));
      *out += line;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::string DescribeLaunch() {
  std::string record;
  char line[1200];
  snprintf(line, sizeof line, "commandLine=%s\r\nargc=%d\r\n", GetCommandLineA(), __argc);
  record += line;
  for (int i = 1; i < __argc; i++) {
    snprintf(line, sizeof line, "argv%d=%s\r\n", i, __argv[i]);
    record += line;
  }
  char modulePath[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  char currentDirectory[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof currentDirectory, currentDirectory);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int showWindow = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  snprintf(line, sizeof line, "ownDirectory=%s\r\ncurrentDirectory=%s\r\nshowWindow=%d\r\n",
           DirectoryOf(modulePath).c_str(), currentDirectory, showWindow);
  record += line;
  ListFiles(DirectoryOf(modulePath), "", &record);
  return record;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string record = DescribeLaunch();
  char modulePath[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  std::string recordPath = DirectoryOf(modulePath) + "\\" + kRecordName;
  // Written under a temporary name and renamed, so a reader never sees half a record.
  std::string partialPath = recordPath + ".part";
  FILE* file = fopen(partialPath.c_str(), "wb");
  if (!file) return 1;
  bool written = fwrite(record.data(), 1, record.size(), file) == record.size();
  written = fclose(file) == 0 && written;
  if (!written || !MoveFileExA(partialPath.c_str(), recordPath.c_str(), MOVEFILE_REPLACE_EXISTING))
    return 1;

  const char* show = getenv("QWSETUP_SHOW");
  if (show && strcmp(show, "1") == 0)
    MessageBoxA(nullptr, record.c_str(), "QWSetup: what the launcher passed", MB_OK);
  return 0;
}
