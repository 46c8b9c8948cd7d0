// CLauncherApp: the application object. Its InitInstance records the UI
// language and runs the progress window, which runs the whole program.
#pragma once

#include "launcher/winfx/app.h"

class CLauncherApp : public CWinApp {
 public:
  CLauncherApp();
  ~CLauncherApp() override;

  // Runs the progress window modally. Every end of a run except a cancel
  // leaves the process from inside the window; after a cancel this returns
  // false, so that the program ends without a message loop.
  BOOL InitInstance() override;
};

extern CLauncherApp theApp;
