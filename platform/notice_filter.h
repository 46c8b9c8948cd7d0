// Which of the worker's notices the window needs to see. A progress notice
// that repeats the position last delivered to the same window changes
// nothing on screen, yet each one is a synchronous cross-thread send (a pair
// of context switches; a server round trip under Wine): the copy-out alone
// sends one per 4096 bytes, for a bar of 201 positions.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// It remembers one window, the launcher's only one: a notice to another
// window is delivered, and that window becomes the one remembered.
class ProgressNoticeFilter {
 public:
  // True when the notice is to be delivered: every notice other than
  // progress (code 8), the first progress notice to a window, and each one
  // whose position differs from the last delivered to that window.
  bool ShouldDeliver(const void* target, uint32_t code, uintptr_t value) {
    if (code != kProgressNoticeCode) return true;
    if (delivered_ && target == target_ && value == position_) return false;
    delivered_ = true;
    target_ = target;
    position_ = value;
    return true;
  }

 private:
  bool delivered_ = false;
  const void* target_ = nullptr;
  uintptr_t position_ = 0;
};
