// The worker's file calls for qwpack on Windows: the ANSI path is converted
// from the package's code page to UTF-16 and the wide call made, so a
// package of Chinese names unpacks alike on a Chinese and a Western system.
// A stand-in for a host path (path_stand_ins.h) becomes that path, wide.
#include <windows.h>

#include <cstdio>

#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "tools/qwpack/host/ansi_paths.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/path_stand_ins.h"

namespace {

unsigned g_codePage = 936;

// The path in UTF-16; an empty string for bytes the code page does not define.
std::wstring WidePath(const char* ansiPath) {
  std::string host, utf8;
  const char* rest = ansiPath;
  bool standIn = SplitStandIn(ansiPath, &host, &rest);
  if (!CodePageToUtf8(rest, g_codePage, &utf8)) return std::wstring();
  return standIn ? HostWide(host + utf8) : HostWide(utf8);
}

FILE* ToolOpenFile(const char* path, const char* mode) {
  std::wstring wide = WidePath(path);
  return wide.empty() ? nullptr : _wfopen(wide.c_str(), HostWide(mode).c_str());
}

int ToolDeleteFile(const char* path) {
  std::wstring wide = WidePath(path);
  return !wide.empty() && DeleteFileW(wide.c_str());
}

HeldHandle ToolHoldDirectory(const char* path) {
  std::wstring wide = WidePath(path);
  HANDLE directory = wide.empty() ? INVALID_HANDLE_VALUE
                                  : CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return directory == INVALID_HANDLE_VALUE ? nullptr : directory;
}

// Names inside the folder are the package's, in its code page.
std::wstring WideName(const char* relativePath) {
  std::string utf8;
  return CodePageToUtf8(relativePath, g_codePage, &utf8) ? HostWide(utf8) : std::wstring();
}

FILE* ToolOpenFileIn(HeldHandle directory, const char* relativePath, const char* mode) {
  std::wstring wide = WideName(relativePath);
  return wide.empty() ? nullptr
                      : Win32OpenFileInWide(static_cast<HANDLE>(directory), wide.c_str(), mode);
}

int ToolCreateDirectoryIn(HeldHandle directory, const char* relativePath) {
  std::wstring wide = WideName(relativePath);
  if (wide.empty()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return Win32CreateDirectoryInWide(static_cast<HANDLE>(directory), wide.c_str());
}

int ToolDeleteFileIn(HeldHandle directory, const char* relativePath) {
  std::wstring wide = WideName(relativePath);
  return !wide.empty() && Win32DeleteFileInWide(static_cast<HANDLE>(directory), wide.c_str());
}

int ToolIsLeadByte(unsigned char byte) {
  return IsDBCSLeadByteEx(g_codePage, byte) != 0;
}

void ToolSendNotice(void* target, uint32_t code, uintptr_t value) {
  const NoticeSink* sink = static_cast<const NoticeSink*>(target);
  if (sink && sink->deliver) sink->deliver(sink->context, code, value);
}

}  // namespace

void UsePathCodePage(unsigned codePage) {
  g_codePage = codePage;
  g_platform.openFile = ToolOpenFile;
  g_platform.deleteFile = ToolDeleteFile;
  g_platform.holdDirectory = ToolHoldDirectory;
  g_platform.openFileIn = ToolOpenFileIn;
  g_platform.createDirectoryIn = ToolCreateDirectoryIn;
  g_platform.deleteFileIn = ToolDeleteFileIn;
  g_platform.isLeadByte = ToolIsLeadByte;
  g_platform.sendNotice = ToolSendNotice;
}

unsigned PathCodePage() {
  return g_codePage;
}

std::string HostPathFromAnsi(const char* ansiPath) {
  std::string host, utf8;
  const char* rest = ansiPath;
  SplitStandIn(ansiPath, &host, &rest);
  if (!CodePageToUtf8(rest, g_codePage, &utf8)) utf8 = rest;
  return host + utf8;
}
