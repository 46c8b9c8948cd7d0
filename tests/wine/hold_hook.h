// Names shared by the driver and the hold hook. The hook runs inside the
// launcher: at the first progress notice it suspends the launcher's other
// threads (the extraction worker), which at that moment waits for the
// notice's reply and so holds no lock. The window goes on running, with its
// bar and package copy frozen, for as long as the driver needs.
#pragma once

// Event names carry the launcher's process id, so that the hook, loaded into
// every process of the desktop, holds that launcher and no other.
constexpr char kHoldRequestEvent[] = "Local\\QwLauncherTest.HoldRequest.%lu";  // exists: hold
constexpr char kWorkerHeldEvent[] = "Local\\QwLauncherTest.WorkerHeld.%lu";    // set by the hook
constexpr char kHoldHookProc[] = "HoldOnFirstProgress";
constexpr unsigned kNoticeMessage = 0x1400;
constexpr unsigned kProgressNotice = 8;
constexpr int kProgressControlId = 1000;
