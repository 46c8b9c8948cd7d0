// CWinApp: the application object. The program defines exactly one, as a
// static object; the framework's WinMain finds it and runs it.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
 public:
  // `appName` none: the program file's name without its extension.
  explicit CWinApp(const char* appName = nullptr);
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();

  // The start-up hook. True runs the framework's message loop until
  // WM_QUIT; false ends the program at once.
  virtual BOOL InitInstance() { return TRUE; }
  // The exit status: WM_QUIT's value after the loop, m_nExitCode when
  // InitInstance failed.
  virtual int ExitInstance() { return m_nExitCode; }
  int Run();

  // Called by WinMain before InitInstance.
  void SetCurrentHandles(HINSTANCE instance);

  HINSTANCE m_hInstance = nullptr;
  const char* m_pszAppName;
  CWnd* m_pMainWnd = nullptr;
  int m_nExitCode = 0;

 private:
  char m_appName[MAX_PATH * 2];
};

CWinApp* AfxGetApp();
const char* AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
