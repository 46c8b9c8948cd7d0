#include "run/launcher_app.h"

#include "res/resource.h"
#include "run/exit_status.h"
#include "run/progress_dlg.h"
#include "package/run_state.h"

CLauncherApp theApp;

CLauncherApp::CLauncherApp() = default;

CLauncherApp::~CLauncherApp() = default;

BOOL CLauncherApp::InitInstance() {
  // First: the window's construction already reads the language.
  g_runState.uiLanguage = ::GetSystemDefaultLangID();
  UINT templateId =
      g_runState.uiLanguage == kLangChineseSimplified ? IDD_PROGRESS_CHINESE : IDD_PROGRESS_ENGLISH;
  CProgressDlg dialog(templateId);
  m_pMainWnd = &dialog;
  dialog.DoModal();  // returns after a cancel only
  m_nExitCode = kExitCancelled;
  return FALSE;
}
