// CProgressDlg: the progress window. Its initialisation prepares the
// workspace and starts the extraction worker; afterwards it only reacts to
// the worker's notices; every end it brings about ends the process through
// the run's control (run_control.h).
#pragma once

#include "launcher/ui/bitmap_progress_ctrl.h"
#include "launcher/ui/skinned_popup_dlg.h"

class CProgressDlg : public CSkinnedPopupDlg {
 public:
  // Template 102 (Chinese) or 103 (English); loads icon 128.
  explicit CProgressDlg(UINT templateId, CWnd* parent = nullptr);
  ~CProgressDlg() override;

  // Consumes Enter, wherever addressed, so that it never ends the run;
  // everything else goes to the dialog keyboard handling (Escape cancels).
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  // Icon, bar range 0..200, run state, workspace, worker. True when the
  // worker was started; without a workspace it reports and exits.
  BOOL OnInitDialog() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  void OnPaint();  // the icon while minimised, else default painting
  HCURSOR OnQueryDragIcon();
  // A worker's notice: progress moves the bar and returns; any other code
  // ends the run (FinishRun).
  LRESULT OnNotice(WPARAM code, LPARAM value);

 private:
  CBitmapProgressCtrl m_progress;
  HICON m_hIcon;
};
