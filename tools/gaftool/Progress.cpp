#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace gaftool {
namespace {
constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 40;
}  // namespace

TerminalProgress::TerminalProgress(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}

TerminalProgress::~TerminalProgress() {
  if (drawn_) std::fprintf(stderr, "\r\033[K");
}

void TerminalProgress::SetPosition(double value) {
  CIndexProgress::SetPosition(value);
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart || (drawn_ && now - lastDraw_ < kRedrawInterval)) return;
  const double span = GetMaximum() - GetMinimum();
  const double share = std::clamp(span > 0 ? (value - GetMinimum()) / span : 0.0, 0.0, 1.0);
  const int filled = static_cast<int>(share * kBarWidth);
  std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, ' ').c_str(), static_cast<int>(share * 100));
  std::fflush(stderr);
  drawn_ = true;
  lastDraw_ = now;
}

}  // namespace gaftool
