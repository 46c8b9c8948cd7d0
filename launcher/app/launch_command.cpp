#include "launcher/app/launch_command.h"

#include <cstring>

#include "decode/unpack.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/workspace.h"
#include "launcher/run_state.h"

namespace {

const char kSetupName[] = "\\QWSetup.exe";
const char kSetupArguments[] = " -D";

// Checks the held bytes, then starts them while they are still held.
int StartHeldSetup(const VerifiedSetup& setup, const char* program, char* commandLine) {
  if (!HeldFileMatches(setup.file, setup.written)) return kExitChecksumError;
  return g_platform.startProgram(program, commandLine) ? kExitSetupStarted : kExitSetupNotStarted;
}

}  // namespace

bool ComposeSetupLaunch(const char* workspacePath, char* program, char* commandLine,
                        size_t capacity) {
  size_t workspaceLength = strlen(workspacePath);
  size_t programLength = workspaceLength + strlen(kSetupName);
  size_t commandLength = 1 + programLength + 1 + strlen(kSetupArguments);
  if (commandLength + 1 > capacity) return false;

  memcpy(program, workspacePath, workspaceLength);
  memcpy(program + workspaceLength, kSetupName, sizeof kSetupName);

  char* out = commandLine;
  *out++ = '"';
  memcpy(out, program, programLength);
  out += programLength;
  *out++ = '"';
  memcpy(out, kSetupArguments, sizeof kSetupArguments);
  return true;
}

int StartSetupProgram(char* failedPath) {
  const VerifiedSetup& setup = VerifiedSetupProgram();
  char program[kPathCapacity];
  char commandLine[kPathCapacity];
  int status = kExitSetupNotStarted;
  if (ComposeSetupLaunch(g_runState.workspacePath, program, commandLine, kPathCapacity)) {
    memcpy(failedPath, program, strlen(program) + 1);
    if (setup.file) status = StartHeldSetup(setup, program, commandLine);
  } else {
    // Too long to compose: name the workspace, which the message still fits.
    memcpy(failedPath, g_runState.workspacePath, strlen(g_runState.workspacePath) + 1);
  }
  ReleaseVerifiedSetup();
  ReleaseWorkspace();
  return status;
}
