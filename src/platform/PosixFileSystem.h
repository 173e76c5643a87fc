#ifndef KRO_PLATFORM_POSIXFILESYSTEM_H
#define KRO_PLATFORM_POSIXFILESYSTEM_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/FileSystem.h"

namespace kro {

// Whether `type` (statfs's f_type) is a file system served over a network
// or by a user-space daemon, whose attributes need not show a change at once.
bool IsRemoteFileSystemType(uint64_t type);

// Writers take an exclusive lock and readers a shared one (flock, never
// waiting), so a second writer, or a reader of a file being written, fails to
// open. Locks belong to the open file description, so two opens inside one
// process exclude each other just as two processes do.
//
// The offset of every open handle is kept here rather than in the kernel: a
// seek costs no system call, and a read or write is one pread or pwrite at
// the kept offset. The engines seek before nearly every block they touch, so
// this halves their system calls.
class PosixFileSystem : public FileSystem {
 public:
  bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle) override;
  bool Close(FileHandle handle) override;
  bool Exists(const char* fileName) override;
  bool Read(FileHandle handle, void* buffer, uint32_t count) override;
  bool Write(FileHandle handle, const void* buffer, uint32_t count) override;
  bool Seek(FileHandle handle, int32_t distance, SeekOrigin origin) override;
  bool Tell(FileHandle handle, uint32_t& position) override;
  bool Size(FileHandle handle, uint32_t& size) override;
  bool Truncate(FileHandle handle, uint32_t size) override;
  bool Sync(FileHandle handle) override;
  bool SyncDirectory(const char* fileName) override;
  bool TempFileName(char* name) override;
  bool Replace(const char* source, const char* target) override;
  bool Delete(const char* fileName) override;
  bool Unlock(FileHandle handle) override;
  bool LockShared(FileHandle handle) override;
  // Refused on a file system shared over a network: its attributes may be
  // cached here and show a change made elsewhere late.
  bool IdentityOf(FileHandle handle, FileIdentity& identity) override;
  bool IdentityAt(const char* fileName, FileIdentity& identity) override;
  // CLOCK_REALTIME_COARSE: the kernel stamps file times from that clock.
  bool ReadStampClock(StampClockReading& reading) override;

 private:
  // False for a handle this layer did not open.
  bool OffsetOf(FileHandle handle, uint64_t& offset) const;
  bool IsOpen(FileHandle handle) const {
    uint64_t offset = 0;
    return OffsetOf(handle, offset);
  }
  void SetOffset(FileHandle handle, uint64_t offset);

  // One slot per file descriptor number; kNotOpen marks a descriptor this
  // layer did not open. Objects on different threads may share this layer,
  // and each handle is used by one thread at a time, so relaxed atomics are
  // enough. Descriptors beyond the table are refused at open.
  static constexpr uint64_t kNotOpen = UINT64_MAX;
  static constexpr int kMaxHandles = 65536;
  std::unique_ptr<std::atomic<uint64_t>[]> offsets_;

 public:
  PosixFileSystem();
};

}  // namespace kro

#endif
