// The Win32 side of runs with switches, on the system itself: the setup
// program started in a job and waited for with what it leaves running, the
// log file's creation rules, and a workspace's removal. One "key=value"
// line per fact, written to REPORT (a file: the setup program's child may
// outlive this program and hold whatever it inherited).
//
//   switch_probe wait|alone REPORT SETUP MARKER
//       Starts SETUP (-D) in a job ("wait") or without ("alone"), waits, and
//       reports the join, the exit code, and whether the child's MARKER was
//       there when the wait ended.
//   switch_probe log REPORT DIR
//       The log file's creation in DIR: a new name, a taken name, a file of
//       two hard links, a directory.
//   switch_probe cleanup REPORT DIR
//       Removes DIR, a tree with a read-only file and a name outside the
//       code page, down from a hold on it, and reports what was left.
//       (Wine's CreateSymbolicLink makes nothing and reports success, and
//       it shows a Unix link as the folder it leads to, so links inside
//       are left to the unit tests.)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "launcher/app/workspace_cleanup.h"
#include "platform/platform.h"

namespace {

FILE* g_report = nullptr;

void Fact(const char* key, long long value) {
  fprintf(g_report, "%s=%lld\n", key, value);
  fflush(g_report);
}

std::u16string Wide(const char* ansi) {
  char16_t buffer[1024];
  if (!g_platform.ansiToWide(ansi, buffer, 1024)) return std::u16string();
  return buffer;
}

bool Exists(const std::u16string& path) {
  return g_platform.getFileAttributesWide(path.c_str()) != kNoFileAttributes;
}

int Wait(bool inJob, const char* setup, const char* marker) {
  std::u16string program = Wide(setup);
  std::u16string commandLine = u"\"" + program + u"\" -D";
  SetupProcess process;
  DWORD started = GetTickCount();
  if (!g_platform.startSetup(program.c_str(), &commandLine[0], inJob, &process)) {
    Fact("start.error", g_platform.lastError());
    return 1;
  }
  Fact("join", process.join);
  Fact("join.error", process.joinError);
  uint32_t exitCode = 0;
  bool waited = g_platform.waitForSetup(&process, &exitCode);
  Fact("waited", waited);
  Fact("exit.code", exitCode);
  Fact("marker.at_end", Exists(Wide(marker)));
  Fact("elapsed_ms", static_cast<long long>(GetTickCount() - started));
  g_platform.closeSetup(&process);
  return 0;
}

int Log(const char* directory) {
  std::u16string base = Wide(directory) + u"\\";
  std::u16string fresh = base + u"fresh.log";
  HeldHandle log = g_platform.createLogFile(fresh.c_str(), 0);
  Fact("new.created", log != nullptr);
  Fact("new.written", log && g_platform.writeLogFile(log, "line\r\n", 6));
  if (log) g_platform.release(log);
  log = g_platform.createLogFile(fresh.c_str(), 0);
  Fact("taken.created", log != nullptr);
  Fact("taken.error", g_platform.lastError());
  if (log) g_platform.release(log);
  log = g_platform.createLogFile(fresh.c_str(), 1);
  Fact("replaced.created", log != nullptr);
  if (log) g_platform.release(log);
  std::string other = std::string(directory) + "\\other.txt";
  std::string linked = std::string(directory) + "\\linked.log";
  FILE* file = fopen(other.c_str(), "wb");
  if (file) {
    fputs("keep me", file);
    fclose(file);
  }
  Fact("hardlink.made", CreateHardLinkA(linked.c_str(), other.c_str(), nullptr) != 0);
  log = g_platform.createLogFile(Wide(linked.c_str()).c_str(), 1);
  Fact("hardlink.created", log != nullptr);
  if (log) g_platform.release(log);
  file = fopen(other.c_str(), "rb");
  char kept[16] = "";
  if (file) {
    if (!fgets(kept, sizeof kept, file)) kept[0] = '\0';
    fclose(file);
  }
  Fact("hardlink.target_kept", strcmp(kept, "keep me") == 0);
  log = g_platform.createLogFile(Wide(directory).c_str(), 1);
  Fact("directory.created", log != nullptr);
  if (log) g_platform.release(log);
  return 0;
}

int Cleanup(const char* directory) {
  std::string root = directory;
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\sub").c_str(), nullptr);
  std::string readOnly = root + "\\sub\\read-only.txt";
  FILE* file = fopen(readOnly.c_str(), "wb");
  if (file) fclose(file);
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  std::u16string chinese = Wide(root.c_str()) + u"\\sub\\\u65E5\u5FD7.txt";
  HANDLE wide = CreateFileW(reinterpret_cast<const wchar_t*>(chinese.c_str()), GENERIC_WRITE, 0,
                            nullptr, CREATE_NEW, 0, nullptr);
  Fact("wide_name.made", wide != INVALID_HANDLE_VALUE);
  if (wide != INVALID_HANDLE_VALUE) CloseHandle(wide);
  HeldHandle hold = g_platform.holdDirectory(root.c_str());
  Fact("held", hold != nullptr);
  // Held, the workspace cannot be renamed away by anyone.
  Fact("rename.refused", !MoveFileA(root.c_str(), (root + "-moved").c_str()));
  CleanupReport report;
  Fact("removed", RemoveWorkspaceTree(&hold, root.c_str(), false, &report));
  Fact("entries", report.removed);
  Fact("passes", report.passes);
  Fact("left", report.left);
  Fact("gone", GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 64;
  g_report = fopen(argv[2], "w");
  if (!g_report) return 65;
  std::string scenario = argv[1];
  int result = 64;
  if ((scenario == "wait" || scenario == "alone") && argc == 5)
    result = Wait(scenario == "wait", argv[3], argv[4]);
  if (scenario == "log") result = Log(argv[3]);
  if (scenario == "cleanup") result = Cleanup(argv[3]);
  fprintf(g_report, "done=%d\n", result);
  fclose(g_report);
  return result;
}
