// The launcher as a child process of the driver: start, its windows, its
// threads, its end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct LauncherProcess {
  PROCESS_INFORMATION info = {};
  std::string path;
};

// Starts `path`, its first thread suspended when `suspended`. Its command
// line is the quoted path, followed, when `arguments` is not empty, by a
// space and `arguments` as they are (a wide start, so that they may hold
// any character). False (and the error reported) on failure.
bool StartLauncher(const std::string& path, bool suspended, LauncherProcess* launcher,
                   const std::wstring& arguments = std::wstring());

bool HasExited(const LauncherProcess& launcher);
// Waits up to `milliseconds`; the exit code, or -1 when still running.
long long WaitForExit(const LauncherProcess& launcher, DWORD milliseconds);

// Top-level visible windows of the process.
std::vector<HWND> VisibleWindowsOf(DWORD processId);
// The progress window: a dialog holding control 1000. Null when none.
HWND FindProgressWindow(DWORD processId);
// A message box: a dialog of the process without control 1000. Null when none.
HWND FindMessageBox(DWORD processId);

// Resumes every thread of the process (a no-op for those not suspended).
void ResumeAllThreads(DWORD processId);

std::wstring WindowText(HWND window);
std::wstring ClassNameOf(HWND window);
