// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
 public:
  ProgressBar(std::string label, uint64_t total);
  ~ProgressBar();
  void Update(uint64_t done);  // redraws at most ten times a second
  void Finish();               // draws the full bar and ends the line

 private:
  void Draw(uint64_t done);

  std::string label_;
  uint64_t total_;
  bool enabled_;
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};
