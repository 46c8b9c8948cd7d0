// CProgressCtrl: the platform's progress control (msctls_progress32).
#pragma once

#include <commctrl.h>

#include "launcher/winfx/wnd.h"

class CProgressCtrl : public CWnd {
 public:
  void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, lower, upper); }
  void GetRange(int& lower, int& upper) const {
    PBRANGE range;
    SendMessage(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
  }
  int SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, position)); }
  int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
