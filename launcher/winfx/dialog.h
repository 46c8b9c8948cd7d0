// CDialog: a modal dialog from a dialog template resource. DoModal creates
// the window modeless and runs a loop of its own, so that every message
// passes PreTranslateMessage before the dialog keyboard handling sees it.
#pragma once

#include "launcher/winfx/wnd.h"

class CDialog;

// One run of data exchange: binds controls to objects (and, saving, would
// read them back; the launcher's dialogs exchange no values).
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  HWND PrepareCtrl(int controlId) const;

  BOOL m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
};

// Subclasses dialog control `controlId` into `control` the first time.
void DDX_Control(CDataExchange* dx, int controlId, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);

  // Creates the window, runs it until EndDialog, destroys it; returns the
  // EndDialog result, IDABORT when a WM_QUIT ended the loop (any program on
  // the desktop can post one to the thread), or -1 when the window could
  // not be created, and only then.
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  // Filters a message of the modal loop before it is dispatched; true
  // means consumed. Keyboard and mouse input for the dialog or its
  // controls goes through the dialog keyboard handling here.
  virtual BOOL PreTranslateMessage(MSG* msg);

 protected:
  // Runs data exchange into the controls; true on success.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void OnOK();
  virtual void OnCancel();
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
  // Every message reaches the object through the window procedure first;
  // what it passes on gets the dialog manager's default handling.
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
  LRESULT HandleInitDialog();
  void CenterWindow();

  UINT m_nTemplateId;
  CWnd* m_pParentWnd;
  bool m_bContinueModal = false;
  int m_nModalResult = -1;
};
