#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

bool IsIo(FileOp op) {
  return op == FileOp::kRead || op == FileOp::kWrite || op == FileOp::kSeek || op == FileOp::kTell ||
         op == FileOp::kSize || op == FileOp::kTruncate || op == FileOp::kSync;
}

}  // namespace

void FaultInjectingFileSystem::FailNth(FileOp op, uint64_t n, bool sticky) {
  armedOp_ = n == 0 ? FileOp::kCount : op;
  armedAt_ = n == 0 ? 0 : calls_[Index(op)] + n;
  sticky_ = sticky;
  injected_ = 0;
}

void FaultInjectingFileSystem::Disarm() {
  armedOp_ = FileOp::kCount;
  armedAt_ = 0;
}

void FaultInjectingFileSystem::ResetCounts() {
  calls_.fill(0);
  Disarm();
  injected_ = 0;
}

bool FaultInjectingFileSystem::ShouldFail(FileOp op) {
  const uint64_t own = ++calls_[Index(op)];
  const uint64_t any = IsIo(op) ? ++calls_[Index(FileOp::kAnyIo)] : 0;
  if (armedOp_ == FileOp::kCount) return false;
  uint64_t reached = 0;
  if (armedOp_ == op) reached = own;
  else if (armedOp_ == FileOp::kAnyIo && IsIo(op)) reached = any;
  else return false;
  const bool fail = sticky_ ? reached >= armedAt_ : reached == armedAt_;
  if (fail) ++injected_;
  return fail;
}

bool FaultInjectingFileSystem::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  handle = kInvalidFileHandle;
  return !ShouldFail(FileOp::kOpen) && real_.Open(fileName, flagWord, handle);
}

bool FaultInjectingFileSystem::Close(FileHandle handle) {
  // A failed close still releases the handle, as the platform's does.
  const bool fail = ShouldFail(FileOp::kClose);
  const bool closed = real_.Close(handle);
  return !fail && closed;
}

bool FaultInjectingFileSystem::Exists(const char* fileName) {
  return !ShouldFail(FileOp::kExists) && real_.Exists(fileName);
}

bool FaultInjectingFileSystem::Read(FileHandle handle, void* buffer, uint32_t count) {
  return !ShouldFail(FileOp::kRead) && real_.Read(handle, buffer, count);
}

bool FaultInjectingFileSystem::Write(FileHandle handle, const void* buffer, uint32_t count) {
  return !ShouldFail(FileOp::kWrite) && real_.Write(handle, buffer, count);
}

bool FaultInjectingFileSystem::Seek(FileHandle handle, int32_t distance, SeekOrigin origin) {
  return !ShouldFail(FileOp::kSeek) && real_.Seek(handle, distance, origin);
}

bool FaultInjectingFileSystem::Tell(FileHandle handle, uint32_t& position) {
  return !ShouldFail(FileOp::kTell) && real_.Tell(handle, position);
}

bool FaultInjectingFileSystem::Size(FileHandle handle, uint32_t& size) {
  return !ShouldFail(FileOp::kSize) && real_.Size(handle, size);
}

bool FaultInjectingFileSystem::Truncate(FileHandle handle, uint32_t size) {
  return !ShouldFail(FileOp::kTruncate) && real_.Truncate(handle, size);
}

bool FaultInjectingFileSystem::Sync(FileHandle handle) {
  return !ShouldFail(FileOp::kSync) && real_.Sync(handle);
}

bool FaultInjectingFileSystem::SyncDirectory(const char* fileName) {
  return !ShouldFail(FileOp::kSyncDirectory) && real_.SyncDirectory(fileName);
}

bool FaultInjectingFileSystem::TempFileName(char* name) {
  return !ShouldFail(FileOp::kTempName) && real_.TempFileName(name);
}

bool FaultInjectingFileSystem::Replace(const char* source, const char* target) {
  return !ShouldFail(FileOp::kReplace) && real_.Replace(source, target);
}

bool FaultInjectingFileSystem::Delete(const char* fileName) {
  return !ShouldFail(FileOp::kDelete) && real_.Delete(fileName);
}

bool FaultInjectingFileSystem::Unlock(FileHandle handle) {
  return !ShouldFail(FileOp::kUnlock) && real_.Unlock(handle);
}

bool FaultInjectingFileSystem::LockShared(FileHandle handle) {
  return !ShouldFail(FileOp::kLockShared) && real_.LockShared(handle);
}

bool FaultInjectingFileSystem::IdentityOf(FileHandle handle, FileIdentity& identity) {
  return !ShouldFail(FileOp::kIdentity) && real_.IdentityOf(handle, identity);
}

bool FaultInjectingFileSystem::IdentityAt(const char* fileName, FileIdentity& identity) {
  return !ShouldFail(FileOp::kIdentity) && real_.IdentityAt(fileName, identity);
}

bool FaultInjectingFileSystem::ReadStampClock(StampClockReading& reading) {
  if (ShouldFail(FileOp::kStampClock)) return false;
  if (!stampClock_) return real_.ReadStampClock(reading);
  reading = *stampClock_;
  return true;
}

void FaultInjectingFileSystem::SettleStampClock() {
  constexpr int64_t kHour = int64_t{3600} * 1'000'000'000;
  StampClockReading clock;
  real_.ReadStampClock(clock);
  stampClock_ = StampClockReading{clock.nowNs + kHour, 4'000'000};
}

}  // namespace kro::test
