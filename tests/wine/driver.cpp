// Runs the launcher under test and reports what it does, one "key=value"
// line per fact, for the host's test script to assert on.
//
//   driver outcome [--hold] [--release-when FILE] [--screenshot BMP] LAUNCHER
//       Runs to the end: the progress window's facts, any message box (whose
//       OK is then pressed), the exit code, the workspace and what the setup
//       program recorded. --hold stops the worker at its first progress
//       notice (--hold-at N: the first of position N or more, the bar still
//       showing the one before); the run goes on once FILE exists (or at
//       once without it).
//       --send-notice CODE:VALUE sends the held window a notice of the
//       driver's own, as the worker would (repeatable).
//       --count-notices reports how many notices reached the window.
//       --post-quit posts WM_QUIT to the held launcher's window thread, as
//       any program on the desktop may.
//       --count-windows reports how many windows the launcher created, from
//       its first (windows.created, windows.top_level, windows.dialogs).
//       --launcher-args-hex HEX puts the UTF-8 text HEX (hexadecimal bytes)
//       on the launcher's command line after its quoted path, as it is.
//   driver keys LAUNCHER
//       Holds the worker, presses Enter (the run must go on), then Escape.
//   driver look [--screenshot BMP] LAUNCHER
//       Holds the worker, reads back the window's drawing and the bar at a
//       set of positions, then presses Escape.
//   driver version PROGRAM
//       Reports the program's version resource as GetFileVersionInfoW reads it.
//   driver brand [--icon-file ICO] PROGRAM
//       The same, the manifest's run level and the program's icon against ICO.
//
// look takes a publisher's brand with --skin-file BMP and --fill-file BMP
// (compared with the files, not the launcher's bitmaps) and --caption-hex
// HEX (the caption's UTF-8 bytes, in place of the project's own).
//
// --private-temp gives the launcher a temporary-files directory of its own
// inside the platform's (through TMP and TEMP), so that its workspace is
// the only one there whatever else runs in the same prefix; --temp DIR
// makes DIR the launcher's temporary-files directory.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <commctrl.h>

#include "brand_probe.h"
#include "hold_hook.h"
#include "launcher_process.h"
#include "look_checks.h"
#include "pixels.h"
#include "report.h"
#include "security_probe.h"
#include "version_probe.h"
#include "window_probe.h"
#include "workspace_probe.h"

namespace {

constexpr DWORD kRunTimeoutMs = 30000;
constexpr DWORD kHoldTimeoutMs = 20000;
constexpr DWORD kLaunchWaitMs = 10000;   // for the setup program's record after success
constexpr DWORD kNoLaunchWaitMs = 1500;  // to see that no record appears

struct Options {
  std::string scenario;
  std::string launcher;
  std::string releaseWhen;
  std::string screenshot;
  std::string temp;
  std::string skinFile, fillFile, iconFile, captionHex;
  std::vector<std::pair<unsigned, long>> notices;  // sent to the held window, in order
  bool hold = false;
  unsigned long holdAt = 0;  // the progress position to hold at
  bool privateTemp = false;
  bool countNotices = false;
  bool postQuit = false;
  bool countWindows = false;
  std::wstring launcherArguments;  // after the launcher's path on its command line
};

std::wstring Wide(const std::string& text, UINT codePage);
std::wstring FromHex(const std::string& hex);

bool ParseOptions(int argc, char** argv, Options* options) {
  if (argc < 3) return false;
  options->scenario = argv[1];
  for (int i = 2; i < argc; i++) {
    std::string argument = argv[i];
    if (argument == "--hold") {
      options->hold = true;
    } else if (argument == "--hold-at" && i + 1 < argc) {
      options->hold = true;
      options->holdAt = strtoul(argv[++i], nullptr, 10);
    } else if (argument == "--private-temp") {
      options->privateTemp = true;
    } else if (argument == "--temp" && i + 1 < argc) {
      options->temp = argv[++i];
    } else if (argument == "--post-quit") {
      options->postQuit = true;
    } else if (argument == "--count-notices") {
      options->countNotices = true;
    } else if (argument == "--count-windows") {
      options->countWindows = true;
    } else if (argument == "--launcher-args-hex" && i + 1 < argc) {
      options->launcherArguments = FromHex(argv[++i]);
    } else if (argument == "--release-when" && i + 1 < argc) {
      options->releaseWhen = argv[++i];
    } else if (argument == "--send-notice" && i + 1 < argc) {
      unsigned code = 0;
      long value = 0;
      if (sscanf(argv[++i], "%u:%ld", &code, &value) != 2) return false;
      options->notices.emplace_back(code, value);
    } else if (argument == "--skin-file" && i + 1 < argc) {
      options->skinFile = argv[++i];
    } else if (argument == "--fill-file" && i + 1 < argc) {
      options->fillFile = argv[++i];
    } else if (argument == "--icon-file" && i + 1 < argc) {
      options->iconFile = argv[++i];
    } else if (argument == "--caption-hex" && i + 1 < argc) {
      options->captionHex = argv[++i];
    } else if (argument == "--screenshot" && i + 1 < argc) {
      options->screenshot = argv[++i];
    } else if (options->launcher.empty()) {
      options->launcher = argument;
    } else {
      return false;
    }
  }
  return !options->launcher.empty();
}

// Stops the launcher's worker at a progress notice, through a hook
// that the platform loads into the launcher (see hold_hook.h); the same hook
// counts the notices that reach the window.
class WorkerHold {
 public:
  bool holds = true;           // false: the hook counts notices and holds nothing
  bool counts = false;         // the window's notices are counted
  bool countsWindows = false;  // the launcher's window creations are counted

  bool Install() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll = path;
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + "qw_hold_hook.dll";
    module_ = LoadLibraryA(dll.c_str());
    HOOKPROC proc = module_ ? reinterpret_cast<HOOKPROC>(
                                  reinterpret_cast<void*>(GetProcAddress(module_, kHoldHookProc)))
                            : nullptr;
    hook_ = proc ? SetWindowsHookExA(WH_CALLWNDPROC, proc, module_, 0) : nullptr;
    Report("hold.hook_installed", hook_ != nullptr);
    if (countsWindows && !InstallWindowCount()) return false;
    return hook_ != nullptr;
  }
  // Names the launcher to hold: started suspended, it has sent nothing yet.
  void Arm(const LauncherProcess& launcher, unsigned long position) {
    if (counts) ArmCount(launcher);
    if (countsWindows)
      windowCount_ = MapCount<WindowCount>(kWindowCountSection, launcher, &windowSection_);
    if (!holds) return;
    char name[96];
    snprintf(name, sizeof name, kHoldRequestSection, launcher.info.dwProcessId);
    request_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name);
    if (void* view = request_ ? MapViewOfFile(request_, FILE_MAP_WRITE, 0, 0, 4) : nullptr) {
      *static_cast<unsigned long*>(view) = position;
      UnmapViewOfFile(view);
    }
    held_ = CreateOwnEvent(kWorkerHeldEvent, launcher);
  }
  bool WaitHeld(const LauncherProcess& launcher, DWORD milliseconds) {
    HANDLE handles[2] = {held_, launcher.info.hProcess};
    DWORD woken = WaitForMultipleObjects(2, handles, FALSE, milliseconds);
    bool held = woken == WAIT_OBJECT_0;
    Report("hold", held);
    return held;
  }
  void ReportCount() const {
    if (windowCount_) {
      Report("windows.created", static_cast<long long>(windowCount_->created));
      Report("windows.top_level", static_cast<long long>(windowCount_->topLevel));
      Report("windows.dialogs", static_cast<long long>(windowCount_->topLevelDialogs));
    }
    if (!count_) return;
    Report("notices.delivered", static_cast<long long>(count_->delivered));
    Report("notices.progress", static_cast<long long>(count_->progress));
  }
  ~WorkerHold() {
    if (windowCount_) UnmapViewOfFile(windowCount_);
    if (windowSection_) CloseHandle(windowSection_);
    if (windowHook_) UnhookWindowsHookEx(windowHook_);
    if (count_) UnmapViewOfFile(count_);
    if (countSection_) CloseHandle(countSection_);
    if (hook_) UnhookWindowsHookEx(hook_);
    if (module_) FreeLibrary(module_);
    if (request_) CloseHandle(request_);
    if (held_) CloseHandle(held_);
  }

 private:
  bool InstallWindowCount() {
    HOOKPROC proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(module_, kWindowCountHookProc)));
    windowHook_ = proc ? SetWindowsHookExA(WH_CBT, proc, module_, 0) : nullptr;
    Report("windows.hook_installed", windowHook_ != nullptr);
    return windowHook_ != nullptr;
  }

  // A zeroed section named for the launcher, mapped for writing; null on failure.
  template <typename Count>
  static Count* MapCount(const char* format, const LauncherProcess& launcher, HANDLE* section) {
    char name[96];
    snprintf(name, sizeof name, format, launcher.info.dwProcessId);
    *section =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Count), name);
    if (!*section) return nullptr;
    return static_cast<Count*>(MapViewOfFile(*section, FILE_MAP_WRITE, 0, 0, sizeof(Count)));
  }

  void ArmCount(const LauncherProcess& launcher) {
    char name[96];
    snprintf(name, sizeof name, kNoticeCountSection, launcher.info.dwProcessId);
    countSection_ =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof *count_, name);
    if (countSection_)  // a new section's pages are zero
      count_ = static_cast<NoticeCount*>(
          MapViewOfFile(countSection_, FILE_MAP_WRITE, 0, 0, sizeof *count_));
  }

  static HANDLE CreateOwnEvent(const char* format, const LauncherProcess& launcher) {
    char name[96];
    snprintf(name, sizeof name, format, launcher.info.dwProcessId);
    return CreateEventA(nullptr, TRUE, FALSE, name);
  }

  HANDLE request_ = nullptr;
  HANDLE held_ = nullptr;
  HANDLE countSection_ = nullptr;
  NoticeCount* count_ = nullptr;
  HANDLE windowSection_ = nullptr;
  WindowCount* windowCount_ = nullptr;
  HHOOK windowHook_ = nullptr;
  HMODULE module_ = nullptr;
  HHOOK hook_ = nullptr;
};

// Starts the launcher; with a hold, armed for it before it runs.
bool StartHeld(const std::string& path, WorkerHold* hold, unsigned long position,
               LauncherProcess* launcher, const std::wstring& arguments = std::wstring()) {
  if (!StartLauncher(path, hold != nullptr, launcher, arguments)) return false;
  if (hold) {
    hold->Arm(*launcher, position);
    ResumeThread(launcher->info.hThread);
  }
  return true;
}

HWND WaitForProgressWindow(const LauncherProcess& launcher, DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += 20) {
    HWND window = FindProgressWindow(launcher.info.dwProcessId);
    if (window || HasExited(launcher)) return window;
    Sleep(20);
  }
  return nullptr;
}

std::wstring ExpectedCaption() {
  return GetSystemDefaultLangID() == 2052 ? L"\u6f9c\u5cab\u6740\u6bd2\u8f6f\u4ef6    "
                                          : L"Orvandelle   ";
}

std::wstring Wide(const std::string& text, UINT codePage) {
  std::wstring wide(text.size() + 1, L'\0');
  int length = MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()),
                                   &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length : 0);
  return wide;
}

std::wstring FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
  return Wide(bytes, CP_UTF8);
}

void SaveScreenshot(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_ERASENOW | RDW_UPDATENOW);
  RECT area;
  GetWindowRect(window, &area);
  Report("screenshot.saved", SaveBmp(CaptureSettled(area), path));
}

// The window that a key press would reach: the focus of the launcher's
// user-interface thread, or the window itself.
HWND KeyTarget(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) return info.hwndFocus;
  return window;
}

void PressKey(HWND target, WPARAM key) {
  UINT scanCode = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scanCode << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scanCode << 16) | (3u << 30));
}

// Watches the launcher until it ends: reports a message box and presses its
// OK. Returns the exit code, -1 on time-out.
long long WatchToEnd(const LauncherProcess& launcher, const std::set<std::string>& workspacesBefore,
                     HWND progressWindow, DWORD milliseconds, bool* boxSeen) {
  DWORD pid = launcher.info.dwProcessId;
  for (DWORD waited = 0; waited < milliseconds; waited += 20) {
    if (!progressWindow) {
      progressWindow = FindProgressWindow(pid);
      if (progressWindow) {
        Report("window.found", 1);
        ReportProgressWindow(progressWindow);
      }
    }
    // The progress window, while it is being torn down, may for a moment
    // show without its bar: it is never the box.
    HWND box = FindMessageBox(pid);
    if (box == progressWindow) box = nullptr;
    if (box && !*boxSeen) {
      *boxSeen = true;
      ReportMessageBox(box, progressWindow);
      std::string workspace = NewWorkspace(workspacesBefore, ListWorkspaces());
      Report("box.package_copy_exists", FileExists(workspace + "\\QW.tmp"));
      Report("box.closed", PressOk(box));
    }
    long long code = WaitForExit(launcher, 20);
    if (code >= 0) return code;
  }
  TerminateProcess(launcher.info.hProcess, 99);
  return -1;
}

// Each notice synchronously, as the worker sends it; one that ends the
// process ends the delivery too.
void SendNotices(HWND window, const std::vector<std::pair<unsigned, long>>& notices) {
  for (const auto& notice : notices) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, kNoticeMessage, notice.first, notice.second, SMTO_NORMAL, 5000,
                        &result);
    Sleep(200);
    std::string key = "notice" + std::to_string(notice.first);
    Report((key + ".window_alive").c_str(), IsWindow(window) != FALSE);
    if (IsWindow(window))
      Report((key + ".bar_pos").c_str(),
             SendMessageW(GetDlgItem(window, kProgressControlId), PBM_GETPOS, 0, 0));
  }
}

int RunOutcome(const Options& options) {
  Report("temp", AnsiToUtf8(TemporaryFilesPath().c_str()));
  std::set<std::string> before = ListWorkspaces();
  WorkerHold hold;
  hold.holds = options.hold;
  hold.counts = options.countNotices;
  hold.countsWindows = options.countWindows;
  bool hooked = options.hold || options.countNotices || options.countWindows;
  if (hooked && !hold.Install()) return 2;
  LauncherProcess launcher;
  if (!StartHeld(options.launcher, hooked ? &hold : nullptr, options.holdAt, &launcher,
                 options.launcherArguments)) {
    return 2;
  }
  ReportProcessToken(launcher.info.hProcess);

  HWND window = nullptr;
  if (options.hold && hold.WaitHeld(launcher, kHoldTimeoutMs)) {
    window = WaitForProgressWindow(launcher, 5000);
    Report("window.found", window != nullptr);
    if (window) ReportProgressWindow(window);
    std::string workspace = NewWorkspace(before, ListWorkspaces());
    Report("hold.workspace_unix", UnixPathOf(workspace));
    Report("hold.package_copy_exists", FileExists(workspace + "\\QW.tmp"));
    if (window && !options.screenshot.empty()) SaveScreenshot(window, options.screenshot);
    if (window) SendNotices(window, options.notices);
    if (options.postQuit)
      Report("quit.posted", PostThreadMessageW(launcher.info.dwThreadId, WM_QUIT, 0, 0) != FALSE);
    if (!options.releaseWhen.empty()) {
      DWORD waited = 0;
      for (; !FileExists(options.releaseWhen) && waited < kHoldTimeoutMs; waited += 50) Sleep(50);
      Report("hold.release_seen", FileExists(options.releaseWhen));
    }
    ResumeAllThreads(launcher.info.dwProcessId);
  }

  bool boxSeen = false;
  long long exitCode = WatchToEnd(launcher, before, window, kRunTimeoutMs, &boxSeen);
  Report("box.seen", boxSeen);
  Report("exit.code", exitCode);
  hold.ReportCount();
  // A run that ended by itself with no message has started the setup
  // program; one ended by a notice of the driver's own has not.
  bool endedByDriver = false;
  for (const auto& notice : options.notices) endedByDriver = endedByDriver || notice.first != 8;
  bool launchExpected = exitCode == 0 && !boxSeen && !endedByDriver;
  ReportWorkspace(NewWorkspace(before, ListWorkspaces()),
                  launchExpected ? kLaunchWaitMs : kNoLaunchWaitMs);
  return 0;
}

// Starts the launcher held at its first progress notice and finds its
// window: 0, or the driver's exit code for what went wrong.
int StartHeldWindow(const Options& options, WorkerHold* hold, LauncherProcess* launcher,
                    HWND* window) {
  if (!hold->Install()) return 2;
  if (!StartHeld(options.launcher, hold, 0, launcher)) return 2;
  if (!hold->WaitHeld(*launcher, kHoldTimeoutMs)) return 3;
  *window = WaitForProgressWindow(*launcher, 5000);
  Report("window.found", *window != nullptr);
  return *window ? 0 : 3;
}

int RunKeys(const Options& options) {
  Report("temp", AnsiToUtf8(TemporaryFilesPath().c_str()));
  std::set<std::string> before = ListWorkspaces();
  WorkerHold hold;
  LauncherProcess launcher;
  HWND window = nullptr;
  if (int failed = StartHeldWindow(options, &hold, &launcher, &window)) return failed;

  // Enter, to wherever the keyboard would deliver it and to the bar.
  PressKey(KeyTarget(window), VK_RETURN);
  PressKey(window, VK_RETURN);
  PressKey(GetDlgItem(window, kProgressControlId), VK_RETURN);
  Sleep(1000);
  Report("enter.process_alive", !HasExited(launcher));
  Report("enter.window_visible", IsWindow(window) && IsWindowVisible(window));
  Report("enter.box_seen", FindMessageBox(launcher.info.dwProcessId) != nullptr);

  PressKey(KeyTarget(window), VK_ESCAPE);
  bool boxSeen = false;
  long long exitCode = -1;
  for (DWORD waited = 0; waited < 10000 && exitCode < 0; waited += 20) {
    boxSeen = boxSeen || FindMessageBox(launcher.info.dwProcessId) != nullptr;
    exitCode = WaitForExit(launcher, 20);
  }
  if (exitCode < 0) TerminateProcess(launcher.info.hProcess, 99);
  Report("escape.ended", exitCode >= 0);
  Report("escape.box_seen", boxSeen);
  Report("exit.code", exitCode);
  ReportWorkspace(NewWorkspace(before, ListWorkspaces()), kNoLaunchWaitMs);
  return 0;
}

int RunLook(const Options& options) {
  WorkerHold hold;
  LauncherProcess launcher;
  HWND window = nullptr;
  if (int failed = StartHeldWindow(options, &hold, &launcher, &window)) return failed;
  ReportProgressWindow(window);

  Image skin = options.skinFile.empty() ? LoadBitmapResource(options.launcher, 129)
                                        : LoadBitmapFile(options.skinFile);
  Image fill = options.fillFile.empty() ? LoadBitmapResource(options.launcher, 134)
                                        : LoadBitmapFile(options.fillFile);
  std::wstring caption =
      options.captionHex.empty() ? ExpectedCaption() : FromHex(options.captionHex);
  Image shot = CheckErase(window, skin, caption);
  CheckCaptionText(
      shot, skin, caption,
      caption == ExpectedCaption() ? std::wstring(L"Another name   ") : ExpectedCaption());
  if (!options.screenshot.empty()) SaveScreenshot(window, options.screenshot);
  CheckBar(GetDlgItem(window, kProgressControlId), fill);

  PressKey(KeyTarget(window), VK_ESCAPE);
  long long exitCode = WaitForExit(launcher, 10000);
  if (exitCode < 0) TerminateProcess(launcher.info.hProcess, 99);
  Report("exit.code", exitCode);
  return 0;
}

void UseTemp(const std::string& path) {
  CreateDirectoryA(path.c_str(), nullptr);
  SetEnvironmentVariableA("TMP", path.c_str());
  SetEnvironmentVariableA("TEMP", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fputs(
        "usage: driver outcome|keys|look|version|brand [--private-temp | --temp DIR] [--hold]\n"
        "                                [--release-when FILE] [--count-notices] "
        "[--count-windows]\n"
        "                                [--launcher-args-hex HEX]\n"
        "                                [--hold-at N] [--send-notice CODE:VALUE] [--post-quit] "
        "[--screenshot "
        "BMP]\n"
        "                                LAUNCHER\n",
        stderr);
    return 64;
  }
  // The space puts the launch of the setup program from a path with spaces to the test.
  if (options.privateTemp)
    UseTemp(TemporaryFilesPath() + "qw test-" + std::to_string(GetCurrentProcessId()));
  if (!options.temp.empty()) UseTemp(options.temp);
  if (options.scenario == "outcome") return RunOutcome(options);
  if (options.scenario == "keys") return RunKeys(options);
  if (options.scenario == "look") return RunLook(options);
  if (options.scenario == "version")
    return ReportVersionInfo(Wide(options.launcher, CP_ACP).c_str()), 0;
  if (options.scenario == "brand") {
    std::wstring program = Wide(options.launcher, CP_ACP);
    ReportVersionInfo(program.c_str());
    ReportRunLevel(program.c_str());
    if (!options.iconFile.empty())
      ReportIcon(program.c_str(), Wide(options.iconFile, CP_ACP).c_str(), options.screenshot);
    return 0;
  }
  fprintf(stderr, "unknown scenario %s\n", options.scenario.c_str());
  return 64;
}
