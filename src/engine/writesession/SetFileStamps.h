// The state a file set's files were in when a reader let go of their locks,
// and the test that they are still in it when the reader takes them back.
//
// A file counts as unchanged when its name still names the same file
// (device and inode) with the same size, modification time and
// status-change time. Times are only as fine as the clock that stamps them,
// so a file whose times lie within a margin of the moment the stamps are
// taken is refused there: a later change could carry the very same times.
// Older times are safe, because every later change stamps the file with a
// time at least as late as the stamps' moment.
#ifndef KRO_ENGINE_WRITESESSION_SETFILESTAMPS_H
#define KRO_ENGINE_WRITESESSION_SETFILESTAMPS_H

#include <array>
#include <cstdint>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/writesession/SetFileTarget.h"
#include "platform/FileIdentity.h"

namespace kro {

class SetFileStamps {
 public:
  // Stamps of files as `files` sees them.
  explicit SetFileStamps(const CGafRawFile& files) : files_(files) {}

  // Margin kept however fine the clock claims to be.
  static constexpr int64_t kMinimumMarginNs = 10'000'000;
  // Margin for a time without a fraction of a second: the file system may
  // keep whole seconds (or, as some do, two).
  static constexpr int64_t kWholeSecondsMarginNs = 2'000'000'000;

  // Notes the names and, for each open handle, its file's identity; a file
  // without a handle is noted as absent. False when an identity or the
  // clock cannot be read, or a file's times are too recent to tell a later
  // change by (the stamps are then unusable).
  bool Take(const SetFileNames& names, const std::array<FileHandle, 3>& handles);
  bool Taken() const { return taken_; }
  // Whether every noted file is still what its name names, unchanged, and
  // every absent one still absent. False before a successful Take.
  bool Unchanged() const;

  // Whether `stampNs`, a file time, is too close to the clock reading for a
  // later change to be sure to stamp a different time.
  static bool TooRecent(int64_t stampNs, const StampClockReading& clock);

 private:
  CGafRawFile files_;
  SetFileNames names_;
  std::array<FileIdentity, 3> identities_{};
  std::array<bool, 3> present_{};
  bool taken_ = false;
};

}  // namespace kro

#endif
