#include "launcher/app/progress_dlg.h"

#include "common/launcher_resources.h"
#include "decode/notices.h"
#include "launcher/app/run_control.h"
#include "launcher/run_state.h"
#include "launcher/winfx/app.h"
#include "launcher/worker.h"

namespace {

const int kBarRange = 200;  // 0..100 copying out, 100..200 unpacking

}  // namespace

CProgressDlg::CProgressDlg(UINT templateId, CWnd* parent)
    : CSkinnedPopupDlg(templateId, parent),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_LAUNCHER))) {}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::DoDataExchange(CDataExchange* dx) {
  CSkinnedPopupDlg::DoDataExchange(dx);
  DDX_Control(dx, IDC_PROGRESS, m_progress);
}

BOOL CProgressDlg::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) return TRUE;
  return CSkinnedPopupDlg::PreTranslateMessage(msg);
}

BOOL CProgressDlg::OnInitDialog() {
  CSkinnedPopupDlg::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_progress.SetRange32(0, kBarRange);
  m_progress.SetPos(0);

  // The run state is complete before the worker exists; the thread's start
  // publishes it, and nobody writes it afterwards.
  g_runState.noticeTarget = m_hWnd;
  PrepareRun(m_hWnd);
  DWORD threadId;
  HANDLE worker = ::CreateThread(nullptr, 0, ExtractionWorkerMain, nullptr, 0, &threadId);
  if (worker) ::CloseHandle(worker);  // the thread runs on without its handle
  return TRUE;
}

LRESULT CProgressDlg::OnNotice(WPARAM code, LPARAM value) {
  if (code == kNoticeProgress) {
    m_progress.SetPos(static_cast<int>(value));
    return 0;
  }
  FinishRun(m_hWnd, static_cast<uint32_t>(code),
            code == kNoticeSuccess ? "" : reinterpret_cast<const char*>(value));
}

void CProgressDlg::OnPaint() {
  if (!IsIconic()) {
    Default();  // the look is the skin's, drawn when the background is erased
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  RECT client;
  GetClientRect(&client);
  int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CProgressDlg::OnQueryDragIcon() {
  return static_cast<HCURSOR>(m_hIcon);
}

bool CProgressDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      *result = 0;
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
      return true;
    case kNoticeMessage:
      *result = OnNotice(wParam, lParam);
      return true;
  }
  return CSkinnedPopupDlg::OnWndMsg(message, wParam, lParam, result);
}
