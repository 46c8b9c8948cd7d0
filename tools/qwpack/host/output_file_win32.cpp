// On Windows a console control handler, which runs on a thread of its own,
// marks the pending file for deletion through its open handle and ends the
// process; the handle's closing at exit deletes the file. The file stays
// open until it has its final name (it is shared for deletion, so it can be
// renamed while open), and one lock guards the handle, the rename and the
// handler, so the handler finds either the pending file or none.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/host/output_file.h"

namespace {

CRITICAL_SECTION g_pendingLock;
HANDLE g_pendingHandles[kMostPendingOutputs];  // the temporary files an interruption must delete

// The exit status of a process ended by Ctrl-C.
constexpr UINT kControlCExit = 0xC000013A;

void MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO dispose = {TRUE};
  SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
}

BOOL WINAPI DeletePendingAndExit(DWORD) {
  EnterCriticalSection(&g_pendingLock);
  for (HANDLE handle : g_pendingHandles)
    if (handle) MarkForDeletion(handle);
  ExitProcess(kControlCExit);  // holding the lock: nothing commits after this
}

void InstallHandler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InitializeCriticalSection(&g_pendingLock);
  SetConsoleCtrlHandler(DeletePendingAndExit, TRUE);
}

// Under the lock: a free slot for `handle`, or -1.
int ClaimPendingSlot(HANDLE handle) {
  for (int i = 0; i < kMostPendingOutputs; i++) {
    if (g_pendingHandles[i]) continue;
    g_pendingHandles[i] = handle;
    return i;
  }
  return -1;
}

// Under the lock: the slot's handle, its slot freed.
HANDLE ReleasePendingSlot(int* slot) {
  HANDLE handle = *slot >= 0 ? g_pendingHandles[*slot] : nullptr;
  if (*slot >= 0) g_pendingHandles[*slot] = nullptr;
  *slot = -1;
  return handle;
}

}  // namespace

OutputFile::~OutputFile() {
  Discard();
}

std::string OutputFile::Open(const std::string& finalPath) {
  finalPath_ = finalPath;
  InstallHandler();
  for (unsigned attempt = 0; attempt < 100; attempt++) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".part-%08lx",
             static_cast<unsigned long>(GetTickCount() * 2654435761u + attempt));
    std::string name = finalPath + suffix;
    EnterCriticalSection(&g_pendingLock);
    HANDLE handle = CreateFileW(HostWide(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) {
      fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_RDWR);
      if (fd_ >= 0) pendingSlot_ = ClaimPendingSlot(handle);
      if (fd_ >= 0 && pendingSlot_ < 0) {
        MarkForDeletion(handle);
        _close(fd_);  // closes the handle too, which deletes the file
        fd_ = -1;
        handle = nullptr;
      }
      if (fd_ < 0 && handle) {
        MarkForDeletion(handle);
        CloseHandle(handle);
      }
    }
    LeaveCriticalSection(&g_pendingLock);
    if (handle == INVALID_HANDLE_VALUE && error == ERROR_FILE_EXISTS) continue;
    if (handle == INVALID_HANDLE_VALUE)
      return "cannot create a file beside " + finalPath + ": " + HostSystemMessage(error);
    if (fd_ < 0) return "cannot create a file beside " + finalPath;
    temporaryPath_ = name;
    return "";
  }
  return "cannot create a file beside " + finalPath + ": every temporary name is taken";
}

std::string OutputFile::Commit() {
  EnterCriticalSection(&g_pendingLock);
  bool renamed = MoveFileExW(HostWide(temporaryPath_).c_str(), HostWide(finalPath_).c_str(),
                             MOVEFILE_REPLACE_EXISTING) != 0;
  DWORD error = GetLastError();
  HANDLE handle = ReleasePendingSlot(&pendingSlot_);
  if (!renamed) MarkForDeletion(handle);
  _close(fd_);  // every byte went out through WriteFile already
  fd_ = -1;
  LeaveCriticalSection(&g_pendingLock);
  temporaryPath_.clear();
  return renamed ? "" : "cannot finish " + finalPath_ + ": " + HostSystemMessage(error);
}

void OutputFile::Discard() {
  if (fd_ < 0) return;
  EnterCriticalSection(&g_pendingLock);
  MarkForDeletion(ReleasePendingSlot(&pendingSlot_));
  _close(fd_);
  fd_ = -1;
  LeaveCriticalSection(&g_pendingLock);
  DeleteFileW(HostWide(temporaryPath_).c_str());  // in case the mark did not take
  temporaryPath_.clear();
}
