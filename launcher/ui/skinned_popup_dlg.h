// CSkinnedPopupDlg: a borderless popup dialog whose whole client area is a
// picture (bitmap 129) with the product caption painted into its title
// strip and a dark line along the right and bottom edges. A press anywhere
// on the window's own surface drags it; child controls get a transparent
// background. The subclass supplies the template and the controls.
#pragma once

#include "launcher/res/product_name.h"
#include "launcher/winfx/dialog.h"
#include "launcher/winfx/gdi.h"
#include "launcher/winfx/string.h"

class CSkinnedPopupDlg : public CDialog {
 public:
  // The caption text follows g_runState.uiLanguage, which must be set.
  CSkinnedPopupDlg(UINT templateId, CWnd* parent = nullptr);
  ~CSkinnedPopupDlg() override;

 protected:
  // The dialog's initialisation (with the subclass's data exchange); true.
  BOOL OnInitDialog() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  // Composes picture, caption and border off screen and copies them to
  // the window in one transfer; default erasing without a picture.
  BOOL OnEraseBkgnd(CDC* pDC);
  // Starts the system's move loop, as a drag of a title bar would.
  void OnLButtonDown(UINT nFlags, POINT point);
  // Creates font and pen, strips the frame styles, loads the picture.
  int OnCreate(LPCREATESTRUCTA createStruct);
  HBRUSH OnCtlColor(CDC* pDC, HWND child, UINT nCtlColor);

  CFont m_fontCaption;
  UINT m_nBackgroundId;  // 0 while no picture is loaded
  CBitmap m_bmpBackground;
  wchar_t m_szCaption[kProductNameCapacity];  // the string table's name and its spaces
  CBrush m_brushControl;
  CPen m_penBorder;
};
