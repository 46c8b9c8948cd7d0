// CWnd: a C++ object bound to one window. The object receives the window's
// messages through its message map (OnWndMsg, overridden class by class,
// each passing what it does not handle to its base); whatever no class
// handles goes on to the window's original procedure.
#pragma once

#include <windows.h>

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd();

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The object bound to `wnd`, or none.
  static CWnd* FromHandlePermanent(HWND wnd);

  // Binds the object to an existing window and routes its messages here:
  // PreSubclassWindow runs bound, before the first message arrives.
  BOOL SubclassWindow(HWND wnd);
  BOOL DestroyWindow();

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)); }
  // Clears `remove` and sets `add`; `flags` other than 0 also has the frame
  // recomputed (SetWindowPos with SWP_FRAMECHANGED and `flags`).
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags);
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  HICON SetIcon(HICON icon, BOOL big);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  // A message box owned by this window; no caption means the application's name.
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

  HWND m_hWnd = nullptr;

 protected:
  // The message map: true when the class handled `message`, with the
  // window procedure's result in *result.
  virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The window's original procedure (the system class's for a subclassed control).
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Original processing of the message now being handled.
  LRESULT Default();
  virtual void PreSubclassWindow() {}
  void OnDestroy() { Default(); }

  // Binds an object to a window that is being created (a dialog's, seen
  // from the creation hook): messages arrive here from the very first.
  void AttachAndSubclass(HWND wnd);

 private:
  static LRESULT CALLBACK StandardWndProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  void Detach();

  WNDPROC m_pfnSuper = nullptr;
};
