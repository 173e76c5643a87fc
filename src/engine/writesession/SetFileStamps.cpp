#include "engine/writesession/SetFileStamps.h"

#include <algorithm>

namespace kro {
namespace {

constexpr int64_t kNanosPerSecond = 1'000'000'000;

bool TimesTooRecent(const FileIdentity& identity, const StampClockReading& clock) {
  return SetFileStamps::TooRecent(identity.modifiedNs, clock) || SetFileStamps::TooRecent(identity.changedNs, clock);
}

}  // namespace

bool SetFileStamps::TooRecent(int64_t stampNs, const StampClockReading& clock) {
  int64_t margin = std::max(clock.resolutionNs, kMinimumMarginNs);
  if (stampNs % kNanosPerSecond == 0) margin = std::max(margin, kWholeSecondsMarginNs);
  return stampNs >= clock.nowNs - margin;
}

bool SetFileStamps::Take(const SetFileNames& names, const std::array<FileHandle, 3>& handles) {
  taken_ = false;
  StampClockReading clock;
  if (!files_.ReadStampClock(clock)) return false;
  for (size_t i = 0; i < handles.size(); ++i) {
    present_[i] = handles[i] != kInvalidFileHandle;
    if (!present_[i]) continue;
    if (!files_.IdentityOf(handles[i], identities_[i]) || TimesTooRecent(identities_[i], clock)) return false;
  }
  names_ = names;
  taken_ = true;
  return true;
}

bool SetFileStamps::Unchanged() const {
  if (!taken_) return false;
  for (size_t i = 0; i < names_.size(); ++i) {
    const char* name = names_[i].c_str();
    if (!present_[i]) {
      if (files_.Exists(name)) return false;
      continue;
    }
    FileIdentity now;
    if (!files_.IdentityAt(name, now) || now != identities_[i]) return false;
  }
  return true;
}

}  // namespace kro
