// One command-line style on every system.
#pragma once

#include <CLI/CLI.hpp>

// Options are "-o" and "--output" alone: CLI11 would otherwise read
// "/path/to/folder" as an option on Windows.
inline void UseOneOptionStyle(CLI::App& app) {
  app.allow_windows_style_options(false);
}
