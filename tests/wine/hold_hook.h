// Names shared by the driver and the hold hook. The hook runs inside the
// launcher: at the first progress notice whose position is at least the
// requested one (0 unless asked otherwise) it suspends the launcher's other
// threads (the extraction worker), which at that moment waits for the
// notice's reply and so holds no lock. The window goes on running, with its
// bar and package copy frozen, for as long as the driver needs.
#pragma once

// Names carry the launcher's process id, so that the hook, loaded into every
// process of the desktop, holds that launcher and no other. The request is a
// shared memory section holding the position to hold at (u32).
constexpr char kHoldRequestSection[] = "Local\\QwLauncherTest.HoldRequest.%lu";
constexpr char kWorkerHeldEvent[] = "Local\\QwLauncherTest.WorkerHeld.%lu";  // set by the hook
// With --count-notices: a section that the hook counts each notice reaching
// the launcher's window in (NoticeCount), held and hold requested or not.
constexpr char kNoticeCountSection[] = "Local\\QwLauncherTest.NoticeCount.%lu";
struct NoticeCount {
  unsigned long delivered;  // every notice
  unsigned long progress;   // code 8 only
};
// With --count-windows: a section that a WH_CBT hook counts each window
// the launcher creates in (WindowCount), from its very first: a quiet run
// must create none, a passive one no message box.
constexpr char kWindowCountSection[] = "Local\\QwLauncherTest.WindowCount.%lu";
struct WindowCount {
  unsigned long created;          // every window, child controls included
  unsigned long topLevel;         // windows that are no child
  unsigned long topLevelDialogs;  // of those, dialogs: the progress window, message boxes
};
constexpr char kHoldHookProc[] = "HoldAtProgress";
constexpr char kWindowCountHookProc[] = "CountWindows";
constexpr unsigned kNoticeMessage = 0x1400;
constexpr unsigned kProgressNotice = 8;
constexpr int kProgressControlId = 1000;
