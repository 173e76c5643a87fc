// A file layer for tests that passes every call on to the real one, counts
// the calls of each kind and fails the n-th call of a chosen kind (once, or
// that call and every later one, as a dead disk would). It carries its own
// environment: objects made over Environment() see these files, and no
// other object does.
#ifndef KRO_TESTS_SUPPORT_FAULTINJECTINGFILESYSTEM_H
#define KRO_TESTS_SUPPORT_FAULTINJECTINGFILESYSTEM_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/fileaccess/Env.h"
#include "platform/FileSystem.h"

namespace kro::test {

enum class FileOp {
  kOpen,
  kClose,
  kExists,
  kRead,
  kWrite,
  kSeek,
  kTell,
  kSize,
  kTruncate,
  kTempName,
  kReplace,
  kDelete,
  kSync,
  kSyncDirectory,
  kAnyIo,  // read, write, seek, tell, size, truncate or sync, counted together
  kUnlock,
  kLockShared,
  kIdentity,  // of a handle or of a name
  kStampClock,
  kCount
};

class FaultInjectingFileSystem : public FileSystem {
 public:
  explicit FaultInjectingFileSystem(FileSystem& real = OperatingSystemFiles()) : real_(real) {}
  FaultInjectingFileSystem(const FaultInjectingFileSystem&) = delete;
  FaultInjectingFileSystem& operator=(const FaultInjectingFileSystem&) = delete;

  Env& Environment() { return env_; }

  // Fails the n-th call (1-based, counted from this call on) of `op`; with
  // `sticky` that call and every later one of the kind fail. n = 0 disarms.
  void FailNth(FileOp op, uint64_t n, bool sticky = false);
  void Disarm();
  // Calls of `op` since construction or the last ResetCounts.
  uint64_t Calls(FileOp op) const { return calls_[Index(op)]; }
  void ResetCounts();
  // Number of calls that were made to fail.
  uint64_t Injected() const { return injected_; }
  // From now on the stamp clock reads `reading` (nullopt: the real clock).
  void SetStampClock(std::optional<StampClockReading> reading) { stampClock_ = reading; }
  // The stamp clock stands an hour ahead of the real one, with a 4 ms step,
  // so that files written so far count as settled for a parked reader.
  void SettleStampClock();

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
  bool IdentityOf(FileHandle handle, FileIdentity& identity) override;
  bool IdentityAt(const char* fileName, FileIdentity& identity) override;
  bool ReadStampClock(StampClockReading& reading) override;

 private:
  static std::size_t Index(FileOp op) { return static_cast<std::size_t>(op); }
  // Counts the call and says whether it must fail.
  bool ShouldFail(FileOp op);

  FileSystem& real_;
  std::array<uint64_t, static_cast<std::size_t>(FileOp::kCount)> calls_{};
  FileOp armedOp_ = FileOp::kCount;
  uint64_t armedAt_ = 0;
  bool sticky_ = false;
  uint64_t injected_ = 0;
  std::optional<StampClockReading> stampClock_;
  Env env_{*this};
};

}  // namespace kro::test

#endif
