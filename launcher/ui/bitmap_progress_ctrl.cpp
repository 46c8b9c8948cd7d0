#include "launcher/ui/bitmap_progress_ctrl.h"

#include "common/launcher_resources.h"
#include "launcher/ui/bar_fill.h"

namespace {

const COLORREF kRemainderColour = RGB(255, 255, 255);

}  // namespace

CBitmapProgressCtrl::CBitmapProgressCtrl() : m_pOldBitmap(nullptr) {}

CBitmapProgressCtrl::~CBitmapProgressCtrl() = default;

void CBitmapProgressCtrl::PreSubclassWindow() {
  // No frame update requested here: the resize below recomputes the frame.
  ModifyStyle(WS_BORDER | PBS_VERTICAL, 0);
  ModifyStyleEx(WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, 0);

  m_bmpFill.LoadBitmap(IDB_PROGRESS_FILL);
  BITMAP fill = {};
  m_bmpFill.GetBitmap(&fill);
  RECT outer;
  GetWindowRect(&outer);
  // The client area becomes the bitmap's height plus the two frame rows.
  SetWindowPos(nullptr, 0, 0, outer.right - outer.left, fill.bmHeight + 2,
               SWP_NOMOVE | SWP_NOZORDER);

  {
    CPaintDC reference(this);
    m_dcFill.CreateCompatibleDC(&reference);
    m_pOldBitmap = static_cast<HBITMAP>(m_dcFill.SelectObject(&m_bmpFill));
  }
  CProgressCtrl::PreSubclassWindow();
}

void CBitmapProgressCtrl::OnPaint() {
  CPaintDC dc(this);
  int lower, upper;
  GetRange(lower, upper);
  int position = GetPos();
  RECT client;
  GetClientRect(&client);
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  int fill = BarFillWidth(width - 2, lower, upper, position);

  // Every column of the fill is the bitmap's one column, row for row.
  if (fill > 0) dc.StretchBlt(1, 1, fill, height - 2, &m_dcFill, 0, 0, 1, height - 2, SRCCOPY);
  dc.FillSolidRect(fill + 1, 1, width - fill - 1, height - 2, kRemainderColour);
  // The paint context's own pen: solid, one pixel, black.
  dc.MoveTo(0, 0);
  dc.LineTo(width - 1, 0);
  dc.LineTo(width - 1, height - 1);
  dc.LineTo(0, height - 1);
  dc.LineTo(0, 0);
}

void CBitmapProgressCtrl::OnDestroy() {
  if (m_pOldBitmap) m_dcFill.SelectObject(m_pOldBitmap);  // m_bmpFill leaves the surface
  CProgressCtrl::OnDestroy();
}

bool CBitmapProgressCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      *result = 0;
      return true;
    case WM_DESTROY:
      OnDestroy();
      *result = 0;
      return true;
    case WM_NCPAINT:
      OnNcPaint();
      *result = 0;
      return true;
  }
  return CProgressCtrl::OnWndMsg(message, wParam, lParam, result);
}
