// A second program of the same user that tries, in a loop, to take the
// launcher's workspace from under it: rename each QW_ directory in the
// temporary-files directory it is given (putting it back at once), delete
// its QWSetup.exe, and open that file for writing. It stops attacking a
// workspace once the setup program has started from it (its record is
// there, or a QWSetup.exe process runs), and ends when STOPFILE appears.
//
// Once CALMFILE appears (the launcher is about to go on to the start), a
// rename attempt opens the directory for deletion, the step every rename
// takes and the one the launcher's hold refuses, without moving it: under
// Wine the new process reads its own path after CreateProcess has returned,
// so a real rename then, allowed once the launcher lets go, could leave the
// setup program in a moved folder, or the folder moved for good while the
// program runs from it.
//
//   intruder TEMPDIR REPORTFILE STOPFILE CALMFILE
//
// The report, "key=value" lines: attempts and refusals of each kind, and
// every attempt that succeeded before the setup program had started.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLimitMs = 120000;

enum Kind { kRename, kDelete, kWrite, kKinds };
const char* const kKindNames[kKinds] = {"rename", "delete", "write"};

struct Tally {
  long attempts[kKinds] = {};
  long refused[kKinds] = {};  // failed on a file or directory that was there
  std::vector<std::string> violations;
  bool sawStart = false;
};

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetupProcessRuns() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry))
    found = lstrcmpiA(entry.szExeFile, "QWSetup.exe") == 0;
  CloseHandle(snapshot);
  return found;
}

bool SetupStarted(const std::string& workspace) {
  return Exists(workspace + "\\QWSetup-received.txt") || SetupProcessRuns();
}

// Counts one attempt; a success before the start is a violation. Returns
// false once the setup program has started (the attack on it is over).
bool Judge(Tally* tally, Kind kind, bool succeeded, DWORD error, const std::string& workspace) {
  tally->attempts[kind]++;
  if (!succeeded) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) tally->refused[kind]++;
    return true;
  }
  if (SetupStarted(workspace)) {
    tally->sawStart = true;
    return false;
  }
  tally->violations.push_back(std::string(kKindNames[kind]) + " " + workspace);
  return true;
}

// One round against one workspace; false once its setup program has started,
// which is looked for before the round as well as after each attempt.
bool Attack(Tally* tally, const std::string& workspace, bool calm) {
  if (SetupStarted(workspace)) {
    tally->sawStart = true;
    return false;
  }
  std::string setup = workspace + "\\QWSetup.exe";
  HANDLE file = CreateFileA(setup.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!Judge(tally, kWrite, file != INVALID_HANDLE_VALUE, error, workspace)) return false;

  BOOL renamed;
  if (!calm) {
    std::string moved = workspace + ".moved";
    renamed = MoveFileA(workspace.c_str(), moved.c_str());
    error = GetLastError();
    if (renamed) MoveFileA(moved.c_str(), workspace.c_str());
  } else {
    HANDLE directory = CreateFileA(workspace.c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    error = GetLastError();
    renamed = directory != INVALID_HANDLE_VALUE;
    if (renamed) CloseHandle(directory);
  }
  if (!Judge(tally, kRename, renamed != FALSE, error, workspace)) return false;

  BOOL deleted = DeleteFileA(setup.c_str());
  return Judge(tally, kDelete, deleted != FALSE, GetLastError(), workspace);
}

std::vector<std::string> Workspaces(const std::string& temp) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((temp + "\\QW_*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::string name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() == 11)
      found.push_back(temp + "\\" + name);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fputs("usage: intruder TEMPDIR REPORTFILE STOPFILE CALMFILE\n", stderr);
    return 64;
  }
  std::string temp = argv[1], stop = argv[3], calmFile = argv[4];
  Tally tally;
  std::vector<std::string> finished;  // workspaces whose setup program has started
  DWORD begun = GetTickCount();
  while (!Exists(stop) && GetTickCount() - begun < kLimitMs) {
    for (const std::string& workspace : Workspaces(temp)) {
      bool done = false;
      for (const std::string& name : finished) done = done || name == workspace;
      if (!done && !Attack(&tally, workspace, Exists(calmFile))) finished.push_back(workspace);
    }
  }
  FILE* report = fopen(argv[2], "w");
  if (!report) return 1;
  for (int kind = 0; kind < kKinds; kind++)
    fprintf(report, "attempts.%s=%ld\nrefused.%s=%ld\n", kKindNames[kind], tally.attempts[kind],
            kKindNames[kind], tally.refused[kind]);
  fprintf(report, "started_seen=%d\nviolations=%u\n", tally.sawStart ? 1 : 0,
          static_cast<unsigned>(tally.violations.size()));
  for (size_t i = 0; i < tally.violations.size() && i < 20; i++)
    fprintf(report, "violation%u=%s\n", static_cast<unsigned>(i), tally.violations[i].c_str());
  fclose(report);
  return 0;
}
