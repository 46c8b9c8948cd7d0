#include "launcher/ui/skinned_popup_dlg.h"

#include "common/launcher_resources.h"
#include "launcher/run_state.h"

namespace {

const COLORREF kCaptionColour = RGB(255, 255, 255);
const COLORREF kBorderColour = RGB(48, 48, 48);
const COLORREF kControlColour = RGB(204, 204, 204);
const int kCaptionX = 30;  // right of the emblem in the title strip
const int kCaptionY = 5;

// Clears border, dialog frame, both scroll bars, system menu and sizing
// frame (0x00FC0000).
const DWORD kFrameStyleMask = 0xFF03FFFF;

}  // namespace

CSkinnedPopupDlg::CSkinnedPopupDlg(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_nBackgroundId(0), m_brushControl(kControlColour) {
  LoadWindowCaption(g_runState.uiLanguage, m_szCaption);
}

CSkinnedPopupDlg::~CSkinnedPopupDlg() = default;

BOOL CSkinnedPopupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  return TRUE;
}

int CSkinnedPopupDlg::OnCreate(LPCREATESTRUCTA) {
  if (Default() == -1) return -1;
  m_fontCaption.CreatePointFont(90, "Arial");
  m_penBorder.CreatePen(PS_SOLID, 1, kBorderColour);
  // The frame is not recalculated: the window keeps the size the template gave it.
  DWORD style = (GetStyle() & kFrameStyleMask) | WS_POPUP;
  ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(style));
  ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, WS_EX_APPWINDOW);  // a taskbar button, nothing else
  if (m_nBackgroundId == 0 && m_bmpBackground.LoadBitmap(IDB_BACKGROUND)) {
    m_nBackgroundId = IDB_BACKGROUND;
  }
  return 0;
}

BOOL CSkinnedPopupDlg::OnEraseBkgnd(CDC* pDC) {
  if (m_nBackgroundId == 0) return static_cast<BOOL>(Default());
  RECT client;
  GetClientRect(&client);
  int width = client.right - client.left;
  int height = client.bottom - client.top;

  CDC surface;
  CBitmap canvas;
  surface.CreateCompatibleDC(pDC);
  canvas.CreateCompatibleBitmap(pDC, width, height);  // the display's colour format
  HGDIOBJ previousCanvas = surface.SelectObject(&canvas);

  CDC picture;
  picture.CreateCompatibleDC(&surface);
  HGDIOBJ previousPicture = picture.SelectObject(&m_bmpBackground);
  surface.BitBlt(0, 0, width, height, &picture, 0, 0, SRCCOPY);
  picture.SelectObject(previousPicture);

  surface.SetTextColor(kCaptionColour);
  surface.SetBkMode(TRANSPARENT);
  HGDIOBJ previousFont = surface.SelectObject(&m_fontCaption);
  // Wide, so that a brand's name draws whatever the system's code page.
  ::TextOutW(surface.GetSafeHdc(), kCaptionX, kCaptionY, m_szCaption, ::lstrlenW(m_szCaption));
  surface.SelectObject(previousFont);

  // Column W-1 in every row, then row H-1 from column W-1 down to column 1:
  // a line leaves out its end point.
  HGDIOBJ previousPen = surface.SelectObject(&m_penBorder);
  surface.MoveTo(width - 1, 0);
  surface.LineTo(width - 1, height - 1);
  surface.LineTo(0, height - 1);
  surface.SelectObject(previousPen);

  pDC->BitBlt(0, 0, width, height, &surface, 0, 0, SRCCOPY);
  surface.SelectObject(previousCanvas);
  return TRUE;  // canvas, surface and picture are released on the way out
}

void CSkinnedPopupDlg::OnLButtonDown(UINT, POINT) {
  // SC_MOVE with the caption hit code: returns when the button is released.
  SendMessage(WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
  Default();
}

HBRUSH CSkinnedPopupDlg::OnCtlColor(CDC* pDC, HWND, UINT nCtlColor) {
  if (nCtlColor == CTLCOLOR_EDIT || nCtlColor == CTLCOLOR_LISTBOX) {
    pDC->SetBkColor(kControlColour);
    return m_brushControl;
  }
  pDC->SetBkMode(TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

bool CSkinnedPopupDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_ERASEBKGND: {
      CDC dc;
      dc.Attach(reinterpret_cast<HDC>(wParam));
      *result = OnEraseBkgnd(&dc);
      dc.Detach();
      return true;
    }
    case WM_LBUTTONDOWN: {
      POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      OnLButtonDown(static_cast<UINT>(wParam), point);
      *result = 0;
      return true;
    }
    case WM_CREATE:
      *result = OnCreate(reinterpret_cast<LPCREATESTRUCTA>(lParam));
      return true;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      CDC dc;
      dc.Attach(reinterpret_cast<HDC>(wParam));
      HBRUSH brush = OnCtlColor(&dc, reinterpret_cast<HWND>(lParam), message - WM_CTLCOLORMSGBOX);
      dc.Detach();
      *result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
  }
  return CDialog::OnWndMsg(message, wParam, lParam, result);
}
