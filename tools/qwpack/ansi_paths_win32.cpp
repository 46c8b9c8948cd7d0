// The worker's file calls for qwpack on Windows: the ANSI path is converted
// from the package's code page to UTF-16 and the wide call made, so a
// package of Chinese names unpacks alike on a Chinese and a Western system.
// The host paths the worker's paths begin with (the program, the workspace)
// reach it as stand-ins, "<1>", "<2>" and so on, which no Windows path
// begins with; the wide host path takes the stand-in's place again.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/code_page.h"
#include "platform/platform.h"
#include "tools/qwpack/ansi_paths.h"
#include "tools/qwpack/host_files.h"

namespace {

unsigned g_codePage = 936;

struct StandIn {
  std::string ansi;
  std::wstring host;
};
std::vector<StandIn> g_standIns;

// The stand-in `ansiPath` begins with, as a whole level; null for none.
const StandIn* FindStandIn(const char* ansiPath) {
  for (const StandIn& standIn : g_standIns) {
    size_t length = standIn.ansi.size();
    if (strncmp(ansiPath, standIn.ansi.c_str(), length) == 0 &&
        (ansiPath[length] == '\0' || ansiPath[length] == '\\'))
      return &standIn;
  }
  return nullptr;
}

// The path in UTF-16; an empty string for bytes the code page does not define.
std::wstring WidePath(const char* ansiPath) {
  const StandIn* standIn = FindStandIn(ansiPath);
  const char* rest = standIn ? ansiPath + standIn->ansi.size() : ansiPath;
  std::string utf8;
  if (!CodePageToUtf8(rest, g_codePage, &utf8)) return std::wstring();
  return standIn ? standIn->host + HostWide(utf8) : HostWide(utf8);
}

FILE* ToolOpenFile(const char* path, const char* mode) {
  std::wstring wide = WidePath(path);
  return wide.empty() ? nullptr : _wfopen(wide.c_str(), HostWide(mode).c_str());
}

int ToolDeleteFile(const char* path) {
  std::wstring wide = WidePath(path);
  return !wide.empty() && DeleteFileW(wide.c_str());
}

int ToolCreateDirectory(const char* path) {
  std::wstring wide = WidePath(path);
  if (wide.empty()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return CreateDirectoryW(wide.c_str(), nullptr) != 0;
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
  g_platform.createDirectory = ToolCreateDirectory;
  g_platform.isLeadByte = ToolIsLeadByte;
  g_platform.sendNotice = ToolSendNotice;
}

unsigned PathCodePage() {
  return g_codePage;
}

std::string HostPathFromAnsi(const char* ansiPath) {
  const StandIn* standIn = FindStandIn(ansiPath);
  const char* rest = standIn ? ansiPath + standIn->ansi.size() : ansiPath;
  std::string utf8;
  if (!CodePageToUtf8(rest, g_codePage, &utf8)) utf8 = rest;
  return standIn ? HostUtf8(standIn->host) + utf8 : utf8;
}

bool WorkerPathFromHost(const std::string& hostPath, std::string* workerPath) {
  g_standIns.push_back({"<" + std::to_string(g_standIns.size() + 1) + ">", HostWide(hostPath)});
  *workerPath = g_standIns.back().ansi;
  return true;
}
