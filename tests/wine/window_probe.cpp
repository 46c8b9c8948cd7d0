#include "window_probe.h"

#include <commctrl.h>

#include <string>

#include "hold_hook.h"
#include "launcher_process.h"
#include "report.h"

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

struct Buttons {
  std::string visibleIds;
  int icons = 0;
};

BOOL CALLBACK InspectBoxChild(HWND child, LPARAM context) {
  Buttons* buttons = reinterpret_cast<Buttons*>(context);
  if (!IsWindowVisible(child)) return TRUE;
  std::wstring kind = ClassNameOf(child);
  if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
    if (!buttons->visibleIds.empty()) buttons->visibleIds += ",";
    buttons->visibleIds += std::to_string(GetDlgCtrlID(child));
  } else if (lstrcmpiW(kind.c_str(), L"Static") == 0 &&
             (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
             SendMessageW(child, STM_GETICON, 0, 0) != 0) {
    buttons->icons++;
  }
  return TRUE;
}

void ReportPlacement(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  // Twice the offset of the window's centre from the work area's: 0 or 1
  // when centred, whatever the rounding of an odd difference.
  Report("window.centre_offset2_x", (rect.left + rect.right) - (work.left + work.right));
  Report("window.centre_offset2_y", (rect.top + rect.bottom) - (work.top + work.bottom));
}

}  // namespace

void ReportProgressWindow(HWND window) {
  LONG style = GetWindowLongW(window, GWL_STYLE);
  LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
  ReportHex("window.style", style);
  ReportHex("window.exstyle", exStyle);
  Report("window.popup", (style & WS_POPUP) != 0);
  Report("window.frame_bits", (style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)) != 0);
  Report("window.appwindow", (exStyle & WS_EX_APPWINDOW) != 0);
  Report("window.toolwindow", (exStyle & WS_EX_TOOLWINDOW) != 0);
  Report("window.title", ToUtf8(WindowText(window).c_str()));
  RECT client;
  GetClientRect(window, &client);
  Report("window.client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
  ReportPlacement(window);
  HWND label = FindWindowExW(window, nullptr, L"Static", nullptr);
  Report("window.label", label ? ToUtf8(WindowText(label).c_str()) : std::string("(none)"));
  HWND bar = GetDlgItem(window, kProgressControlId);
  // The range by return values: a record's address means nothing in another process.
  LRESULT low = SendMessageW(bar, PBM_GETRANGE, TRUE, 0);
  LRESULT high = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
  Report("window.bar_range", std::to_string(low) + ".." + std::to_string(high));
  Report("window.bar_pos", SendMessageW(bar, PBM_GETPOS, 0, 0));
}

void ReportMessageBox(HWND box, HWND progressWindow) {
  wchar_t text[2048] = L"";
  GetDlgItemTextW(box, kMessageBoxTextId, text, 2048);
  Report("box.caption", ToUtf8(WindowText(box).c_str()));
  Report("box.text", ToUtf8(text));
  Buttons buttons;
  EnumChildWindows(box, InspectBoxChild, reinterpret_cast<LPARAM>(&buttons));
  Report("box.buttons", buttons.visibleIds);
  Report("box.icons", buttons.icons);
  Report("box.owned_by_progress_window",
         progressWindow != nullptr && GetWindow(box, GW_OWNER) == progressWindow);
  if (progressWindow) {
    HWND bar = GetDlgItem(progressWindow, kProgressControlId);
    Report("box.bar_pos", SendMessageW(bar, PBM_GETPOS, 0, 0));
  }
}

bool PressOk(HWND box) {
  HWND ok = GetDlgItem(box, IDOK);
  if (ok) PostMessageW(ok, BM_CLICK, 0, 0);
  for (int i = 0; i < 40 && IsWindow(box) && IsWindowVisible(box); i++) Sleep(50);
  if (IsWindow(box) && IsWindowVisible(box)) {
    // A click that did not land (the box not yet active): the command itself.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    for (int i = 0; i < 40 && IsWindow(box) && IsWindowVisible(box); i++) Sleep(50);
  }
  return !(IsWindow(box) && IsWindowVisible(box));
}
