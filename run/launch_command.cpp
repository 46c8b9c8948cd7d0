#include "run/launch_command.h"

#include <cstring>

namespace {

const char kSetupName[] = "\\QWSetup.exe";
const char kSetupArguments[] = " -D";

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
