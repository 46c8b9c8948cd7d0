#include "launcher/winfx/gdi.h"

#include <cstdlib>
#include <cstring>

#include "launcher/winfx/app.h"
#include "launcher/winfx/wnd.h"

BOOL CGdiObject::Attach(HGDIOBJ object) {
  DeleteObject();
  m_hObject = object;
  return object != nullptr;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  BOOL deleted = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return deleted;
}

BOOL CFont::CreatePointFont(int pointSize, const char* faceName, const CDC* dc) {
  HDC reference = dc ? dc->m_hDC : ::GetDC(nullptr);
  LOGFONTA font;
  memset(&font, 0, sizeof font);
  font.lfCharSet = DEFAULT_CHARSET;
  // Tenths of a point to device pixels, then to logical units: a negative
  // height asks for the character height rather than the cell's.
  POINT height = {0, ::MulDiv(::GetDeviceCaps(reference, LOGPIXELSY), pointSize, 720)};
  POINT origin = {0, 0};
  ::DPtoLP(reference, &height, 1);
  ::DPtoLP(reference, &origin, 1);
  font.lfHeight = -abs(height.y - origin.y);
  strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
  if (!dc) ::ReleaseDC(nullptr, reference);
  return Attach(::CreateFontIndirectA(&font));
}

BOOL CBitmap::LoadBitmap(UINT resourceId) {
  return Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(resourceId)));
}

BOOL CBitmap::CreateCompatibleBitmap(const CDC* dc, int width, int height) {
  return Attach(::CreateCompatibleBitmap(dc->m_hDC, width, height));
}

int CBitmap::GetBitmap(BITMAP* bitmap) const {
  return ::GetObjectA(m_hObject, sizeof(BITMAP), bitmap);
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
  return Attach(::CreatePen(style, width, colour));
}

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
  return Attach(::CreateSolidBrush(colour));
}

CDC::~CDC() {
  DeleteDC();
}

BOOL CDC::CreateCompatibleDC(const CDC* dc) {
  DeleteDC();
  m_hDC = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
  return m_hDC != nullptr;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  return ::DeleteDC(Detach());
}

HDC CDC::Detach() {
  HDC dc = m_hDC;
  m_hDC = nullptr;
  return dc;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY,
                 DWORD rop) {
  return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX, sourceY,
                  rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, const CDC* source, int sourceX,
                     int sourceY, int sourceWidth, int sourceHeight, DWORD rop) {
  return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX,
                      sourceY, sourceWidth, sourceHeight, rop);
}

BOOL CDC::TextOut(int x, int y, const char* text, int length) {
  return ::TextOutA(m_hDC, x, y, text, length);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour) {
  RECT rect = {x, y, x + width, y + height};
  COLORREF previous = ::SetBkColor(m_hDC, colour);
  ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, previous);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) {
  m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  Detach();  // EndPaint released it; nothing left to delete
}
