// Device-context and drawing-object wrappers. Each owns its handle and
// releases it when destroyed, so a window holds its drawing objects as
// plain members.
#pragma once

#include <windows.h>

class CDC;
class CWnd;

class CGdiObject {
 public:
  CGdiObject() = default;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;
  ~CGdiObject() { DeleteObject(); }

  BOOL DeleteObject();
  HGDIOBJ GetSafeHandle() const { return m_hObject; }

  HGDIOBJ m_hObject = nullptr;

 protected:
  BOOL Attach(HGDIOBJ object);
};

class CFont : public CGdiObject {
 public:
  // `pointSize` in tenths of a point; the height follows the screen's (or
  // `dc`'s) pixels per logical inch, every other attribute default.
  BOOL CreatePointFont(int pointSize, const char* faceName, const CDC* dc = nullptr);
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject {
 public:
  BOOL LoadBitmap(UINT resourceId);  // from the program's resources
  BOOL CreateCompatibleBitmap(const CDC* dc, int width, int height);
  int GetBitmap(BITMAP* bitmap) const;
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CPen : public CGdiObject {
 public:
  BOOL CreatePen(int style, int width, COLORREF colour);
  operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
  BOOL CreateSolidBrush(COLORREF colour);
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

// A device context. One made by CreateCompatibleDC is deleted with the
// object; one lent by the system (a paint's, an erase's) is attached for
// the call and detached before the object goes.
class CDC {
 public:
  CDC() = default;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC();

  BOOL CreateCompatibleDC(const CDC* dc);
  BOOL DeleteDC();
  void Attach(HDC dc) { m_hDC = dc; }
  HDC Detach();
  HDC GetSafeHdc() const { return m_hDC; }

  HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
  HGDIOBJ SelectObject(const CGdiObject* object) { return SelectObject(object->m_hObject); }

  BOOL BitBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY,
              DWORD rop);
  BOOL StretchBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight, DWORD rop);
  COLORREF SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
  COLORREF SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  BOOL TextOut(int x, int y, const char* text, int length);
  BOOL MoveTo(int x, int y) { return ::MoveToEx(m_hDC, x, y, nullptr); }
  BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
  // A solid rectangle without touching the brush: an opaque, empty text
  // output in `colour`; the background colour is left as it was found.
  void FillSolidRect(int x, int y, int width, int height, COLORREF colour);
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

  HDC m_hDC = nullptr;
};

// BeginPaint and EndPaint around one paint of a window.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;

  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
};
