#include "launcher/winfx/app.h"

#include <cstring>

#include "launcher/winfx/library_search.h"

namespace {

CWinApp* g_app = nullptr;

// The file name of `path` without directory and extension, as CharNextA
// walks it (a double-byte character's trail byte is never a separator).
void CopyProgramTitle(const char* path, char* out, size_t outSize) {
  const char* name = path;
  for (const char* p = path; *p; p = ::CharNextA(p)) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  const char* extension = nullptr;
  for (const char* p = name; *p; p = ::CharNextA(p)) {
    if (*p == '.') extension = p;
  }
  size_t length = extension ? static_cast<size_t>(extension - name) : strlen(name);
  if (length >= outSize) length = outSize - 1;
  memcpy(out, name, length);
  out[length] = '\0';
}

}  // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) {
  m_appName[0] = '\0';
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::SetCurrentHandles(HINSTANCE instance) {
  m_hInstance = instance;
  if (m_pszAppName) return;
  char path[MAX_PATH * 2];
  DWORD length = ::GetModuleFileNameA(instance, path, sizeof path);
  if (length == 0 || length >= sizeof path) path[0] = '\0';
  CopyProgramTitle(path, m_appName, sizeof m_appName);
  m_pszAppName = m_appName;
}

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  m_nExitCode = static_cast<int>(msg.wParam);
  return ExitInstance();
}

CWinApp* AfxGetApp() {
  return g_app;
}

const char* AfxGetAppName() {
  return g_app && g_app->m_pszAppName ? g_app->m_pszAppName : "";
}

HINSTANCE AfxGetResourceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

// The program's entry: it constructs nothing; the application object exists
// already as a static object.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearch();  // before anything can load a library
  InitProgressControlClass();
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->SetCurrentHandles(instance);
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
