#include "launcher/app/launcher_app.h"

#include "common/launcher_resources.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/run_control.h"
#include "launcher/app/progress_dlg.h"
#include "launcher/run_state.h"

CLauncherApp theApp;

CLauncherApp::CLauncherApp() = default;

CLauncherApp::~CLauncherApp() = default;

BOOL CLauncherApp::InitInstance() {
  // First: the window's construction already reads the language.
  g_runState.uiLanguage = ::GetSystemDefaultLangID();
  BeginRun();
  if (DisplayOf(RunOptions()) == kDisplayNone) RunQuietly();
  UINT templateId =
      g_runState.uiLanguage == kLangChineseSimplified ? IDD_PROGRESS_CHINESE : IDD_PROGRESS_ENGLISH;
  CProgressDlg dialog(templateId);
  m_pMainWnd = &dialog;
  // Returns after a cancel or a quit message only, or -1 when the window
  // could not be made.
  INT_PTR result = dialog.DoModal();
  int status = result == -1 ? kExitNoWindow : result == IDABORT ? kExitQuit : kExitCancelled;
  m_nExitCode = static_cast<int>(ExitCodeOfWindowEnd(status));
  return FALSE;
}
