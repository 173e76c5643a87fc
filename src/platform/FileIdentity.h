// What names one file and tells whether it changed: the device and inode it
// lives on, its size, and its last modification and status-change times in
// nanoseconds since the epoch. Two identities of the same file are equal
// only while nothing wrote to it, truncated it, or changed its metadata;
// the status-change time cannot be set by users, so every change moves it.
#ifndef KRO_PLATFORM_FILEIDENTITY_H
#define KRO_PLATFORM_FILEIDENTITY_H

#include <cstdint>

namespace kro {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;

  bool SameFile(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
  bool operator==(const FileIdentity& other) const {
    return SameFile(other) && size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// A reading of the clock that file times are stamped from, and the step by
// which that clock advances.
struct StampClockReading {
  int64_t nowNs = 0;
  int64_t resolutionNs = 0;
};

}  // namespace kro

#endif
