// The setup program of a run with switches: started by the wide call and,
// in a run that waits, waited for with everything it starts (platform
// startSetup / waitForSetup), each step written to the log.
#pragma once

#include <cstdint>

#include "launcher/app/exit_codes.h"
#include "platform/platform.h"

struct SetupRun {
  bool started;
  uint32_t startError;   // why it did not start
  SetupProcess process;  // what the start made of it (its handles let go by now)
  bool waited;           // the wait ended and the exit code was read
  uint32_t exitCode;     // the setup program's own
  uint32_t waitError;    // why the wait failed
};

// Starts `program` with `commandLine` (ComposeSetupCommandLine); with
// `wait`, in a job, and returns once no process of the job is left (or,
// where the job could not be had, once the setup program has ended, which
// the log says). `started`, when given, is called once the program runs
// and before the wait: the launcher lets go of its holds there, as a run
// that does not wait does once the program has started. Every handle is
// let go before it returns; nothing is ended by letting go.
void RunSetupProgram(const char16_t* program, char16_t* commandLine, bool wait, SetupRun* run,
                     void (*started)() = nullptr);

// How the run ends after it: the setup program's code once it was waited
// for; kExitSetupStarted for a start not waited for; kExitSetupNotStarted;
// kEndWaitFailed for a wait that failed, which is never a success.
RunOutcome OutcomeOfSetupRun(const SetupRun& run, bool wait);
