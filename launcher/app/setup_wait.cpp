#include "launcher/app/setup_wait.h"

#include "launcher/app/run_log.h"

void RunSetupProgram(const char16_t* program, char16_t* commandLine, bool wait, SetupRun* run,
                     void (*started)()) {
  *run = SetupRun();
  LogSetupCommandLine(commandLine);
  run->started = g_platform.startSetup(program, commandLine, wait, &run->process) != 0;
  if (!run->started) run->startError = g_platform.lastError();
  LogSetupStart(run->started, run->process, run->startError);
  if (!run->started) return;
  if (started) started();
  if (wait) {
    run->waited = g_platform.waitForSetup(&run->process, &run->exitCode) != 0;
    if (!run->waited) run->waitError = g_platform.lastError();
    LogSetupEnd(run->waited, run->exitCode, run->waitError);
  }
  g_platform.closeSetup(&run->process);
}

RunOutcome OutcomeOfSetupRun(const SetupRun& run, bool wait) {
  if (!run.started) return {false, 0, kExitSetupNotStarted};
  if (!wait) return {false, 0, kExitSetupStarted};
  if (!run.waited) return {false, 0, kEndWaitFailed};
  return {true, run.exitCode, kExitSetupStarted};
}
