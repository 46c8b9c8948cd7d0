#include "launcher/winfx/wnd.h"

#include "launcher/winfx/app.h"

namespace {

// Binds a window to its object. A property rather than the window's user
// data, which a subclassed control may use for itself.
const char kObjectProperty[] = "winfx.CWnd";

// The message being handled, for Default(). Windows live on the one
// user-interface thread, so one slot, saved and restored around nested
// messages, is all it takes.
struct CurrentMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
CurrentMessage g_currentMessage;

}  // namespace

CWnd::~CWnd() {
  if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND wnd) {
  return wnd ? static_cast<CWnd*>(::GetPropA(wnd, kObjectProperty)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND wnd) {
  if (!wnd || m_hWnd) return FALSE;
  m_hWnd = wnd;
  ::SetPropA(wnd, kObjectProperty, this);
  PreSubclassWindow();
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardWndProc)));
  return TRUE;
}

void CWnd::AttachAndSubclass(HWND wnd) {
  m_hWnd = wnd;
  ::SetPropA(wnd, kObjectProperty, this);
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardWndProc)));
}

void CWnd::Detach() {
  if (m_pfnSuper) ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  ::RemovePropA(m_hWnd, kObjectProperty);
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  m_pfnSuper = nullptr;
  m_hWnd = nullptr;
}

BOOL CWnd::DestroyWindow() {
  return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
  DWORD style = GetStyle();
  DWORD changed = (style & ~remove) | add;
  if (style == changed) return FALSE;
  ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
  if (flags) {
    ::SetWindowPos(
        m_hWnd, nullptr, 0, 0, 0, 0,
        SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | flags);
  }
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
  DWORD style = GetExStyle();
  DWORD changed = (style & ~remove) | add;
  if (style == changed) return FALSE;
  ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(changed));
  if (flags) {
    ::SetWindowPos(
        m_hWnd, nullptr, 0, 0, 0, 0,
        SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | flags);
  }
  return TRUE;
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags) {
  return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, width, height,
                        flags);
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}

bool CWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*) {
  return false;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  CurrentMessage outer = g_currentMessage;
  g_currentMessage = {message, wParam, lParam};
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = Default();
  g_currentMessage = outer;
  return result;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* object = FromHandlePermanent(wnd);
  if (!object) return ::DefWindowProcA(wnd, message, wParam, lParam);
  LRESULT result = object->WindowProc(message, wParam, lParam);
  // The window's last message: give it back its own procedure and let go.
  if (message == WM_NCDESTROY) object->Detach();
  return result;
}
