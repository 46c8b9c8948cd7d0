#include "tools/qwpack/progress_bar.h"

#include <cstdio>

#include "tools/qwpack/host/host_files.h"

namespace {
constexpr int kBarWidth = 40;
}

ProgressBar::ProgressBar(std::string label, uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(HostIsTerminal(stderr)) {}

ProgressBar::~ProgressBar() {
  if (enabled_ && !finished_) fputc('\n', stderr);
}

void ProgressBar::Update(uint64_t done) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  Draw(done);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  Draw(total_);
  fputc('\n', stderr);
  finished_ = true;
}

void ProgressBar::Draw(uint64_t done) {
  uint64_t shown = total_ ? (done > total_ ? total_ : done) : 0;
  int filled = total_ ? static_cast<int>(shown * kBarWidth / total_) : kBarWidth;
  int percent = total_ ? static_cast<int>(shown * 100 / total_) : 100;
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; i++) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, percent);
  fflush(stderr);
}
