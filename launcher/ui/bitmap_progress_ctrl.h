// CBitmapProgressCtrl: a progress control that keeps the platform control
// for its range and position and draws itself: a one-pixel black frame
// around a channel filled from the left with bitmap 134's gradient, in
// proportion to the position, and white beyond the fill. Attachment fixes
// its height to the bitmap's plus the frame and strips every border.
#pragma once

#include "launcher/winfx/gdi.h"
#include "launcher/winfx/progress_ctrl.h"

class CBitmapProgressCtrl : public CProgressCtrl {
 public:
  CBitmapProgressCtrl();
  ~CBitmapProgressCtrl() override;

 protected:
  void PreSubclassWindow() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  void OnPaint();
  void OnDestroy();
  void OnNcPaint() {}  // no frame or edge is ever painted by the platform

  CBitmap m_bmpFill;
  HBITMAP m_pOldBitmap;  // m_dcFill's bitmap before m_bmpFill; put back, never deleted
  CDC m_dcFill;          // holds m_bmpFill from attachment until the window goes
};
