// A WH_CALLWNDPROC hook, installed for the whole desktop by the driver and
// loaded by the platform into each process that receives a sent message;
// and a WH_CBT hook that counts the windows a launcher creates.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>

#include "hold_hook.h"

namespace {

bool g_held = false;  // per process: the hook holds a launcher once

void SuspendOtherThreads() {
  DWORD self = GetCurrentThreadId();
  DWORD process = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process || entry.th32ThreadID == self) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    SuspendThread(thread);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
}

void OwnName(const char* format, char* name, size_t capacity) {
  snprintf(name, capacity, format, GetCurrentProcessId());
}

// The position to hold at, or false when no hold is requested for this process.
bool RequestedPosition(unsigned long* position) {
  char name[96];
  OwnName(kHoldRequestSection, name, sizeof name);
  HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (!section) return false;
  const unsigned long* view =
      static_cast<const unsigned long*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 4));
  if (view) {
    *position = *view;
    UnmapViewOfFile(view);
  }
  CloseHandle(section);
  return view != nullptr;
}

void SignalHeld() {
  char name[96];
  OwnName(kWorkerHeldEvent, name, sizeof name);
  HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  if (!held) return;
  SetEvent(held);
  CloseHandle(held);
}

bool IsLauncherNotice(const CWPSTRUCT& message) {
  return message.message == kNoticeMessage &&
         GetDlgItem(message.hwnd, kProgressControlId) != nullptr;
}

// The counting section's view, looked for once per process; null without one.
NoticeCount* CountView() {
  static NoticeCount* s_view = nullptr;
  static bool s_looked = false;
  if (s_looked) return s_view;
  s_looked = true;
  char name[96];
  OwnName(kNoticeCountSection, name, sizeof name);
  if (HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name)) {
    // The view stays mapped until the process ends.
    s_view =
        static_cast<NoticeCount*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof *s_view));
    CloseHandle(section);
  }
  return s_view;
}

// The window-counting section's view, as CountView does for notices.
WindowCount* WindowCountView() {
  static WindowCount* s_view = nullptr;
  static bool s_looked = false;
  if (s_looked) return s_view;
  s_looked = true;
  char name[96];
  OwnName(kWindowCountSection, name, sizeof name);
  if (HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name)) {
    s_view =
        static_cast<WindowCount*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof *s_view));
    CloseHandle(section);
  }
  return s_view;
}

// The dialog class, given as its atom (#32770) or by name.
bool IsDialogClass(LPCSTR className) {
  if (IS_INTRESOURCE(className)) return LOWORD(reinterpret_cast<ULONG_PTR>(className)) == 0x8002;
  return className && lstrcmpiA(className, "#32770") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    CountWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    if (WindowCount* count = WindowCountView()) {
      const CREATESTRUCTA* create = reinterpret_cast<const CBT_CREATEWNDA*>(lParam)->lpcs;
      bool topLevel = !(create->style & WS_CHILD);
      count->created++;
      count->topLevel += topLevel ? 1 : 0;
      count->topLevelDialogs += topLevel && IsDialogClass(create->lpszClass) ? 1 : 0;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    HoldAtProgress(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  unsigned long position = 0;
  bool notice = code == HC_ACTION && IsLauncherNotice(*message);
  bool progress = notice && message->wParam == kProgressNotice;
  if (NoticeCount* count = notice ? CountView() : nullptr) {
    count->delivered++;
    count->progress += progress ? 1 : 0;
  }
  if (progress && !g_held && RequestedPosition(&position) &&
      static_cast<unsigned long>(message->lParam) >= position) {
    g_held = true;
    // The sender is blocked in its SendMessage until this handler returns;
    // suspending it here leaves it there.
    SuspendOtherThreads();
    SignalHeld();
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
