// The state one run shares between its two threads. The user-interface
// thread writes it completely before the worker starts; afterwards it is
// only read, so nothing guards it.
#pragma once

#include <cstdint>

#include "common/entry_names.h"
#include "decode/volume_set.h"
#include "platform/platform.h"

struct RunState {
  uint16_t uiLanguage;                  // GetSystemDefaultLangID; 2052 selects Chinese
  void* noticeTarget;                   // the progress window (a NoticeSink on Linux)
  char programPath[kPathCapacity];      // the program file holding the package
  char workspacePath[kPathCapacity];    // the workspace, no trailing separator
  char packageCopyPath[kPathCapacity];  // workspacePath + "\QW.tmp"
  // The workspace, held: everything in it is opened through this handle.
  // workspacePath is the path the handle resolves to, for messages and the
  // setup program's start.
  HeldHandle workspace;
  // How the worker reaches a set's volumes; with no `open`, beside
  // programPath. qwpack extract gives its own, on host paths.
  VolumeOpener volumes;
};

// The package copy, in the workspace.
constexpr char kPackageCopyName[] = "QW.tmp";

extern RunState g_runState;

constexpr uint16_t kLangChineseSimplified = 2052;
