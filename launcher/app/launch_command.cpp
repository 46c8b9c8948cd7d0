#include "launcher/app/launch_command.h"

#include <cstring>

#include "decode/unpack.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/run_log.h"
#include "launcher/app/workspace.h"
#include "launcher/run_state.h"

namespace {

const char kSetupName[] = "\\QWSetup.exe";
const char kSetupArguments[] = " -D";

// Checks the held bytes, then starts them while they are still held.
int StartHeldSetup(const VerifiedSetup& setup, const char* program, char* commandLine) {
  if (!HeldFileMatches(setup.file, setup.written)) return kExitChecksumError;
  LogSetupCommandLineAnsi(commandLine);
  return g_platform.startProgram(program, commandLine) ? kExitSetupStarted : kExitSetupNotStarted;
}

}  // namespace

bool ComposeCommandLine(const char* program, char* commandLine, size_t capacity) {
  size_t programLength = strlen(program);
  if (1 + programLength + 1 + strlen(kSetupArguments) + 1 > capacity) return false;
  char* out = commandLine;
  *out++ = '"';
  memcpy(out, program, programLength);
  out += programLength;
  *out++ = '"';
  memcpy(out, kSetupArguments, sizeof kSetupArguments);
  return true;
}

bool ComposeSetupLaunch(const char* workspacePath, char* program, char* commandLine,
                        size_t capacity) {
  size_t workspaceLength = strlen(workspacePath);
  if (workspaceLength + sizeof kSetupName > capacity) return false;
  char composed[kPathCapacity * 2];
  memcpy(composed, workspacePath, workspaceLength);
  memcpy(composed + workspaceLength, kSetupName, sizeof kSetupName);
  if (!ComposeCommandLine(composed, commandLine, capacity)) return false;
  memcpy(program, composed, workspaceLength + sizeof kSetupName);
  return true;
}

int StartSetupProgram(char* failedPath) {
  const VerifiedSetup& setup = VerifiedSetupProgram();
  char program[kPathCapacity];
  char commandLine[kPathCapacity];
  int status = kExitSetupNotStarted;
  if (ComposeSetupLaunch(g_runState.workspacePath, program, commandLine, kPathCapacity)) {
    memcpy(failedPath, program, strlen(program) + 1);
    // Started by the path its hold resolves to: every folder of it a real
    // one above an open handle, so it names the held file and no other.
    char held[kPathCapacity];
    if (setup.file && g_platform.finalPath(setup.file, held, sizeof held) &&
        ComposeCommandLine(held, commandLine, kPathCapacity))
      status = StartHeldSetup(setup, held, commandLine);
  } else {
    // Too long to compose: name the workspace, which the message still fits.
    memcpy(failedPath, g_runState.workspacePath, strlen(g_runState.workspacePath) + 1);
  }
  ReleaseVerifiedSetup();
  ReleaseWorkspace();
  return status;
}
