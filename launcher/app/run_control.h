// The run as its command line asks for it. A run without switches is the
// one the launcher always made: the progress window, a message box for
// every failure, QWSetup.exe -D started by the ANSI call and not waited
// for, the README's exit statuses. The switches (command_line.h) change
// what is shown, whether the setup program is waited for, what goes to the
// log, and the exit codes; never what is checked before the start.
#pragma once

#include <windows.h>

#include <cstdint>

#include "launcher/app/command_line.h"

// The switches, read once by BeginRun.
const LaunchOptions& RunOptions();

// Reads the command line and opens the log the switches ask for. Ends the
// process for a command line the launcher refuses (its message, status 15)
// and for /? (the help); returns otherwise.
void BeginRun();

// Fills the run state: the program's own path, and the workspace, or the
// folder of /extract=DIR. Ends the process after its message when there is
// none. `owner` owns the message boxes: the progress window, or null in a
// quiet run.
void PrepareRun(HWND owner);

// The end at the worker's final notice, `path` its value: the package copy
// deleted, then the setup program started (and waited for, the workspace
// removed after), the extraction ended, or the failure reported. The
// worker is blocked in its notice meanwhile. Never returns.
[[noreturn]] void FinishRun(HWND owner, uint32_t code, const char* path);

// The exit code of an end the window brings about (a cancel, a quit
// message, no window), written to the log.
uint32_t ExitCodeOfWindowEnd(int status);

// A run of /quiet: no window at all; the worker runs on this thread, and
// its final notice ends the run.
[[noreturn]] void RunQuietly();
