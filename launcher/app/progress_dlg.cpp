#include "launcher/app/progress_dlg.h"

#include <cstdlib>

#include "common/launcher_resources.h"
#include "decode/notices.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/launch_command.h"
#include "launcher/app/workspace.h"
#include "launcher/res/product_name.h"
#include "launcher/res/texts.h"
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
  DWORD length = ::GetModuleFileNameA(nullptr, g_runState.programPath, kPathCapacity);
  if (length >= kPathCapacity) length = 0;  // truncated: no path rather than a wrong one
  g_runState.programPath[length] = '\0';

  WorkspaceOutcome workspace = PrepareWorkspace();
  if (workspace != kWorkspaceReady) {
    // Unreadable rights fail closed: no workspace whose trustees are a guess.
    const TextPair* message = &kNoSpaceMessage;
    int status = kExitNoSpace;
    if (workspace == kWorkspaceTokenUnreadable) {
      message = &kTokenUnreadableMessage;
      status = kExitTokenUnreadable;
    } else if (workspace == kWorkspaceNotMade) {
      message = &kWorkspaceNotMadeMessage;
      status = kExitWorkspaceNotMade;
    }
    ReportWithProductName(SelectText(*message, g_runState.uiLanguage));
    exit(status);
  }
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
  // Every final notice comes after the worker has closed the package copy.
  g_platform.deleteFileIn(g_runState.workspace, kPackageCopyName);
  const char* path = reinterpret_cast<const char*>(value);
  uint16_t language = g_runState.uiLanguage;
  switch (code) {
    case kNoticeSuccess:
      exit(LaunchSetupProgram());
    case kNoticeOpenError:
      ReportFileError(kOpenFileError, path);
      break;
    case kNoticeWriteError:
      ReportFileError(kWriteFileError, path);
      break;
    case kNoticeDecompressError:
      ReportFileError(kDecompressFileError, path);
      break;
    case kNoticeChecksumError:
      ReportFileError(kChecksumFileError, path);
      break;
    case kNoticeDirectoryError:
      ReportFileError(kCreateDirectoryError, path);
      break;
    case kNoticeDamagedPackage:
      ReportWithProductName(SelectText(kDamagedPackageMessage, language));
      break;
    default:  // unknown codes end the run without a word
      break;
  }
  exit(ExitStatusOfFailureNotice(static_cast<uint32_t>(code)));
}

// Captioned with the product's name from the string table, in full: the
// box is shown through the wide call, the text converted from the code page
// it is written in, as the narrow call would.
void CProgressDlg::ReportWithProductName(const char* text) {
  wchar_t caption[kProductNameCapacity];
  LoadProductName(g_runState.uiLanguage, caption);
  wchar_t wideText[kPathCapacity];
  if (!::MultiByteToWideChar(CP_ACP, 0, text, -1, wideText, kPathCapacity)) wideText[0] = L'\0';
  ::MessageBoxW(m_hWnd, wideText, caption, 0);
}

void CProgressDlg::ReportFileError(const char* format, const char* path) {
  CString message;
  message.Format(format, path);
  MessageBox(message, nullptr, 0);  // captioned with the application's name
}

// Starts the setup program with "-D" and a normal window, and does not wait.
// The program is named apart from its command line, so nothing is searched
// for and no prefix of a path with spaces is ever run. A program that does
// not start (missing from the package, damaged, blocked) or whose held
// bytes are not the verified ones is reported like the other per-file
// failures. Returns the run's exit status.
int CProgressDlg::LaunchSetupProgram() {
  char path[kPathCapacity];
  int status = StartSetupProgram(path);
  if (status == kExitChecksumError) ReportFileError(kChecksumFileError, path);
  if (status == kExitSetupNotStarted) ReportFileError(kRunFileError, path);
  return status;
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
