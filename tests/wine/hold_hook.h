// Names shared by the driver and the hold hook. The hook runs inside the
// launcher: at the first progress notice it suspends the launcher's other
// threads (the extraction worker), which at that moment waits for the
// notice's reply and so holds no lock. The window goes on running, with its
// bar and package copy frozen, for as long as the driver needs.
#pragma once

constexpr char kHoldRequestEvent[] = "Local\\QwLauncherTest.HoldRequest";  // exists: hold
constexpr char kWorkerHeldEvent[] = "Local\\QwLauncherTest.WorkerHeld";    // set by the hook
constexpr char kHoldHookProc[] = "HoldOnFirstProgress";
constexpr unsigned kNoticeMessage = 0x1400;
constexpr unsigned kProgressNotice = 8;
constexpr int kProgressControlId = 1000;
