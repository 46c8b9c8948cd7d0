// A WH_CALLWNDPROC hook, installed for the whole desktop by the driver and
// loaded by the platform into each process that receives a sent message.
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

HANDLE OpenOwnEvent(const char* format, DWORD access) {
  char name[96];
  snprintf(name, sizeof name, format, GetCurrentProcessId());
  return OpenEventA(access, FALSE, name);
}

bool IsLauncherProgressNotice(const CWPSTRUCT& message) {
  return message.message == kNoticeMessage && message.wParam == kProgressNotice &&
         GetDlgItem(message.hwnd, kProgressControlId) != nullptr;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    HoldOnFirstProgress(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && !g_held && IsLauncherProgressNotice(*message)) {
    HANDLE request = OpenOwnEvent(kHoldRequestEvent, SYNCHRONIZE);
    if (request) {
      CloseHandle(request);
      g_held = true;
      // The sender is blocked in its SendMessage until this handler returns;
      // suspending it here leaves it there.
      SuspendOtherThreads();
      HANDLE held = OpenOwnEvent(kWorkerHeldEvent, EVENT_MODIFY_STATE);
      if (held) {
        SetEvent(held);
        CloseHandle(held);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
