// What the launcher says about its command line: the help of /? and the
// message for a command line it refuses. English in every UI language, as
// the per-file messages are: their readers are administrators. Wide text,
// since a switch's own text may hold any character.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/app/command_line.h"

// The switches, how they combine, and the exit codes of a run that waits
// or extracts, one line per end of exit_codes.h. `programName` is the
// launcher's file name as the examples use it. Cut to `capacity` units
// (terminator included) when longer; false when cut.
bool FormatHelp(const char16_t* programName, char16_t* out, size_t capacity);

// The message for the options' problem, naming the argument concerned
// ("Unknown switch: /bogus"); false when cut to `capacity`, or when there
// is no problem (out is then empty).
bool FormatCommandLineProblem(const LaunchOptions& options, char16_t* out, size_t capacity);

// The message for a log that could not be created at `path`; the run ends
// as for any other problem of the command line (status 15).
bool FormatLogNotCreated(const char16_t* path, uint32_t error, char16_t* out, size_t capacity);
