#include "tools/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace sp::tool {

ProgressBar::ProgressBar(std::string label, int64_t total, Output output)
    : label_(std::move(label)),
      total_(std::max<int64_t>(total, 1)),
      enabled_(output == Output::TerminalOnly && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(int64_t done) {
  if (!enabled_) return;
  const int percent = static_cast<int>(std::clamp<int64_t>(done * 100 / total_, 0, 100));
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::fprintf(stderr, "\r%s [%s] %3d%% (%lld/%lld)", label_.c_str(), bar.c_str(), percent,
               static_cast<long long>(done), static_cast<long long>(total_));
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!enabled_ || lastPercent_ < 0) return;
  // Erase the line so that whatever follows starts clean.
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  lastPercent_ = -1;
}

}  // namespace sp::tool
