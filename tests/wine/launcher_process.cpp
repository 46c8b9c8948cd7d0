#include "launcher_process.h"

#include <tlhelp32.h>

#include "hold_hook.h"
#include "report.h"

namespace {

// The launcher with arguments: the ANSI path widened, the arguments as given.
bool StartWide(const std::string& path, DWORD flags, const std::wstring& arguments,
               PROCESS_INFORMATION* info) {
  std::wstring program(path.size() + 1, L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &program[0],
                                   static_cast<int>(program.size()));
  program.resize(length > 0 ? length - 1 : 0);
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                        nullptr, &startup, info) != 0;
}

}  // namespace

bool StartLauncher(const std::string& path, bool suspended, LauncherProcess* launcher,
                   const std::wstring& arguments) {
  launcher->path = path;
  std::string commandLine = "\"" + path + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  DWORD flags = suspended ? CREATE_SUSPENDED : 0;
  bool started = arguments.empty()
                     ? CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags,
                                      nullptr, nullptr, &startup, &launcher->info) != 0
                     : StartWide(path, flags, arguments, &launcher->info);
  if (!started) {
    Report("start.error", static_cast<long long>(GetLastError()));
    return false;
  }
  Report("start.pid", static_cast<long long>(launcher->info.dwProcessId));
  return true;
}

bool HasExited(const LauncherProcess& launcher) {
  return WaitForSingleObject(launcher.info.hProcess, 0) == WAIT_OBJECT_0;
}

long long WaitForExit(const LauncherProcess& launcher, DWORD milliseconds) {
  if (WaitForSingleObject(launcher.info.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(launcher.info.hProcess, &code);
  return code;
}

namespace {

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

bool IsDialog(HWND window) {
  return ClassNameOf(window) == L"#32770";
}

}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
  WindowSearch search = {processId, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindProgressWindow(DWORD processId) {
  for (HWND window : VisibleWindowsOf(processId))
    if (IsDialog(window) && GetDlgItem(window, kProgressControlId)) return window;
  return nullptr;
}

HWND FindMessageBox(DWORD processId) {
  for (HWND window : VisibleWindowsOf(processId))
    if (IsDialog(window) && !GetDlgItem(window, kProgressControlId)) return window;
  return nullptr;
}

void ResumeAllThreads(DWORD processId) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != processId) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    while (ResumeThread(thread) > 1) {
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
}

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = L"";
  GetWindowTextW(window, text, 2048);
  return text;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return name;
}
