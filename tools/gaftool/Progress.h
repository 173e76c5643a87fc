// A progress bar on standard error for work that runs long: drawn only when
// standard error is a terminal, only after the work has run for half a
// second, at most ten times a second, and never with --quiet. It is the
// engine's progress sink, so index compaction and rebuilds can drive it.
#ifndef KRO_GAFTOOL_PROGRESS_H
#define KRO_GAFTOOL_PROGRESS_H

#include <chrono>
#include <string>

#include "engine/indexfile/CIndexProgress.h"

namespace gaftool {

class TerminalProgress : public kro::CIndexProgress {
 public:
  TerminalProgress(std::string label, bool quiet);
  ~TerminalProgress() override;
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // `value` between the range's minimum and maximum (0 and 100 by default).
  void SetPosition(double value) override;
  // Work counted in steps rather than percent.
  void SetFraction(double done, double total) { SetPosition(total > 0 ? 100.0 * done / total : 0); }

 private:
  using Clock = std::chrono::steady_clock;
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
};

}  // namespace gaftool

#endif
