#include "launcher/winfx/dialog.h"

#include "launcher/winfx/app.h"

namespace {

// The dialog object whose window is being created; the creation hook binds
// it to the first window the creation makes, which is the dialog itself.
CDialog* g_creatingDialog = nullptr;

}  // namespace

HWND CDataExchange::PrepareCtrl(int controlId) const {
  return ::GetDlgItem(m_pDlgWnd->m_hWnd, controlId);
}

void DDX_Control(CDataExchange* dx, int controlId, CWnd& control) {
  if (control.m_hWnd) return;  // bound by an earlier exchange
  control.SubclassWindow(dx->PrepareCtrl(controlId));
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

LRESULT CALLBACK CDialog::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_creatingDialog) {
    CDialog* dialog = g_creatingDialog;
    g_creatingDialog = nullptr;
    // Bound before WM_NCCREATE, so that WM_CREATE reaches the object.
    dialog->AttachAndSubclass(reinterpret_cast<HWND>(wParam));
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CDialog::DoModal() {
  HINSTANCE module = AfxGetResourceHandle();
  HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(m_nTemplateId), MAKEINTRESOURCEA(5));
  HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
  const DLGTEMPLATE* dialogTemplate =
      loaded ? static_cast<const DLGTEMPLATE*>(::LockResource(loaded)) : nullptr;
  if (!dialogTemplate) return -1;

  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  bool parentWasEnabled = parent && ::IsWindowEnabled(parent);
  if (parentWasEnabled) ::EnableWindow(parent, FALSE);

  m_bContinueModal = true;
  m_nModalResult = -1;
  g_creatingDialog = this;
  HHOOK hook = ::SetWindowsHookExA(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
  HWND wnd = ::CreateDialogIndirectParamA(module, dialogTemplate, parent, DialogProc, 0);
  ::UnhookWindowsHookEx(hook);
  g_creatingDialog = nullptr;

  MSG msg;
  while (wnd && m_bContinueModal) {
    if (!::GetMessageA(&msg, nullptr, 0, 0)) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave WM_QUIT for the outer loop
      m_nModalResult = IDABORT;
      break;
    }
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }

  if (parentWasEnabled) ::EnableWindow(parent, TRUE);
  if (m_hWnd) {
    // Hidden before it goes, so that activation does not flicker through it.
    SetWindowPos(nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    DestroyWindow();
  }
  return m_nModalResult;
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  if (m_bContinueModal) {
    m_bContinueModal = false;
    ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes the loop if it is waiting
  }
  ::EndDialog(m_hWnd, result);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  bool keyboard = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
  bool mouse = msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST;
  if (!m_hWnd || !(keyboard || mouse)) return FALSE;
  // Takes only messages for the dialog or its controls; turns Escape into
  // IDCANCEL and Enter into the default command.
  return ::IsDialogMessageA(m_hWnd, msg);
}

BOOL CDialog::OnInitDialog() {
  return UpdateData(FALSE);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_INITDIALOG:
      *result = HandleInitDialog();
      return true;
    case WM_COMMAND:
      if (HIWORD(wParam) != 0) break;  // a control's notification, not a command
      if (LOWORD(wParam) == IDOK) {
        OnOK();
      } else if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
      } else {
        break;
      }
      *result = 0;
      return true;
  }
  return CWnd::OnWndMsg(message, wParam, lParam, result);
}

// The initialisation, then the framework's centring: a dialog that was
// hidden, is still hidden, has not been moved by its initialisation, has no
// enabled owner and asks for no placement of its own is centred.
LRESULT CDialog::HandleInitDialog() {
  DWORD styleBefore = GetStyle();
  RECT before;
  GetWindowRect(&before);

  BOOL result = OnInitDialog();
  if (!m_hWnd) return result;

  RECT after;
  GetWindowRect(&after);
  HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  bool centre = !(styleBefore & WS_VISIBLE) && !(GetStyle() & (WS_VISIBLE | WS_CHILD)) &&
                before.left == after.left && before.top == after.top &&
                !(owner && ::IsWindowEnabled(owner)) &&
                !(GetStyle() & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN));
  if (centre) CenterWindow();
  return result;
}

void CDialog::CenterWindow() {
  RECT dialog;
  GetWindowRect(&dialog);
  MONITORINFO monitor;
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoA(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  int width = dialog.right - dialog.left;
  int height = dialog.bottom - dialog.top;
  int left = (area.left + area.right) / 2 - width / 2;
  int top = (area.top + area.bottom) / 2 - height / 2;
  // Kept inside the work area when larger than it.
  if (left + width > area.right) left = area.right - width;
  if (left < area.left) left = area.left;
  if (top + height > area.bottom) top = area.bottom - height;
  if (top < area.top) top = area.top;
  SetWindowPos(nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
