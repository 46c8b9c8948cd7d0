// The example product's setup program. The launcher starts it from the
// workspace; it records what it received in QWSetup-received.txt beside
// itself and exits at once, so an unattended run never waits on it. With
// QWSETUP_SHOW=1 in the environment it also shows the record in a message box.
//
// The record holds the narrow command line and argv as the C runtime gives
// them, and, for tests that compare arguments exactly whatever their
// characters, the wide ones as hexadecimal UTF-8 bytes: wideCommandLine,
// wideArgc and wideArgvN as CommandLineToArgvW splits GetCommandLineW, and
// crtArgc and crtArgvN as the C runtime's own parser does.
//
// A file QWSetup-behaviour.txt beside it (packed with the payload) asks for
// more, one "name=value" line each, UTF-8:
//   exit=N           exit with N instead of 0
//   child_ms=N       start a copy of itself that lives N ms after it has
//                    started and then writes its marker: a child that
//                    outlives the setup program
//   child_breakaway=1  start that child with CREATE_BREAKAWAY_FROM_JOB
//   child_marker=PATH  where the child writes its marker (default
//                    QWSetup-child.txt beside it): "ended pid=N"
//   record_copy=PATH   a second copy of the record, outside the workspace
// Without the file it behaves as it always has.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kRecordName[] = "QWSetup-received.txt";
constexpr char kBehaviourName[] = "QWSetup-behaviour.txt";
constexpr wchar_t kChildSwitch[] = L"--qwsetup-child";

struct Behaviour {
  bool present = false;
  int exitCode = 0;
  long childMilliseconds = -1;  // no child
  bool childBreakaway = false;
  std::wstring childMarker;
  std::wstring recordCopy;
};

std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                   static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length : 0);
  return wide;
}

// Hexadecimal UTF-8: one line whatever the text holds (quotes, line ends,
// characters of no code page), read back exactly by the tests.
std::string HexUtf8(const wchar_t* text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(length > 0 ? length : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : utf8) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

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

// The C runtime's own split of the wide command line (msvcrt's).
struct CrtStartupInfo {
  int newMode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expandWildcards,
                              CrtStartupInfo* info);

std::string DescribeWideArguments() {
  std::string record = "wideCommandLine=" + HexUtf8(GetCommandLineW()) + "\r\n";
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  record += "wideArgc=" + std::to_string(arguments ? count : -1) + "\r\n";
  for (int i = 0; arguments && i < count; i++)
    record += "wideArgv" + std::to_string(i) + "=" + HexUtf8(arguments[i]) + "\r\n";
  LocalFree(arguments);
  int crtCount = 0;
  wchar_t** crtArguments = nullptr;
  wchar_t** environment = nullptr;
  CrtStartupInfo info = {0};
  if (__wgetmainargs(&crtCount, &crtArguments, &environment, 0, &info) < 0) crtCount = -1;
  record += "crtArgc=" + std::to_string(crtCount) + "\r\n";
  for (int i = 0; crtArguments && i < crtCount; i++)
    record += "crtArgv" + std::to_string(i) + "=" + HexUtf8(crtArguments[i]) + "\r\n";
  return record;
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
  record += DescribeWideArguments();
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

Behaviour ReadBehaviour(const std::string& directory) {
  Behaviour behaviour;
  FILE* file = fopen((directory + "\\" + kBehaviourName).c_str(), "rb");
  if (!file) return behaviour;
  behaviour.present = true;
  char line[2048];
  while (fgets(line, sizeof line, file)) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    std::string name = text.substr(0, equals), value = text.substr(equals + 1);
    if (name == "exit") behaviour.exitCode = static_cast<int>(strtoul(value.c_str(), nullptr, 10));
    if (name == "child_ms") behaviour.childMilliseconds = strtol(value.c_str(), nullptr, 10);
    if (name == "child_breakaway") behaviour.childBreakaway = value == "1";
    if (name == "child_marker") behaviour.childMarker = FromUtf8(value);
    if (name == "record_copy") behaviour.recordCopy = FromUtf8(value);
  }
  fclose(file);
  return behaviour;
}

// Written under a temporary name and renamed, so a reader never sees half a file.
bool WriteWhole(const std::wstring& path, const std::string& content) {
  std::wstring partial = path + L".part";
  FILE* file = _wfopen(partial.c_str(), L"wb");
  if (!file) return false;
  bool written = fwrite(content.data(), 1, content.size(), file) == content.size();
  written = fclose(file) == 0 && written;
  return written && MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The child: lives its time, then says so.
int RunChild(int count, wchar_t** arguments) {
  if (count < 4) return 2;
  Sleep(static_cast<DWORD>(wcstoul(arguments[2], nullptr, 10)));
  return WriteWhole(arguments[3], "ended pid=" + std::to_string(GetCurrentProcessId()) + "\r\n")
             ? 0
             : 1;
}

// Starts the child that outlives this program; its facts for the record.
std::string StartChild(const Behaviour& behaviour, const std::wstring& directory) {
  wchar_t self[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring marker =
      behaviour.childMarker.empty() ? directory + L"\\QWSetup-child.txt" : behaviour.childMarker;
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + kChildSwitch + L" " +
                             std::to_wstring(behaviour.childMilliseconds) + L" \"" + marker + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;
  DWORD flags = behaviour.childBreakaway ? CREATE_BREAKAWAY_FROM_JOB : 0;
  if (!CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                      &startup, &child)) {
    return "child.error=" + std::to_string(GetLastError()) + "\r\n";
  }
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return "child.pid=" + std::to_string(child.dwProcessId) +
         "\r\nchild.breakaway=" + (behaviour.childBreakaway ? "1" : "0") + "\r\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments && count > 1 && wcscmp(arguments[1], kChildSwitch) == 0)
    return RunChild(count, arguments);
  LocalFree(arguments);

  std::string record = DescribeLaunch();
  char modulePath[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  std::string directory = DirectoryOf(modulePath);
  wchar_t wideModulePath[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, wideModulePath, MAX_PATH);
  std::wstring wideDirectory = wideModulePath;
  wideDirectory = wideDirectory.substr(0, wideDirectory.find_last_of(L'\\'));
  Behaviour behaviour = ReadBehaviour(directory);
  if (behaviour.present) {
    if (behaviour.childMilliseconds >= 0) record += StartChild(behaviour, wideDirectory);
    record += "exitCode=" + std::to_string(behaviour.exitCode) + "\r\n";
  }
  std::wstring recordPath = wideDirectory + L"\\" + FromUtf8(kRecordName);
  if (!WriteWhole(recordPath, record)) return 1;
  if (!behaviour.recordCopy.empty() && !WriteWhole(behaviour.recordCopy, record)) return 1;

  const char* show = getenv("QWSETUP_SHOW");
  if (show && strcmp(show, "1") == 0)
    MessageBoxA(nullptr, record.c_str(), "QWSetup: what the launcher passed", MB_OK);
  return behaviour.exitCode;
}
