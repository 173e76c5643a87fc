#include "engine/fileaccess/CGafRawFile.h"

#include "engine/writesession/WriteSession.h"

namespace kro {

bool CGafRawFile::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) const {
  handle = kInvalidFileHandle;
  if ((flagWord & kOpenReadOnly) == 0) {
    if (WriteSession* session = env_->Sessions().ForName(fileName)) {
      return session->OpenFile(fileName, flagWord, handle);
    }
  }
  return Files().Open(fileName, flagWord, handle);
}

bool CGafRawFile::Close(FileHandle handle) const {
  if (handle == kInvalidFileHandle) return false;
  if (WriteSession* session = env_->Sessions().ForHandle(handle)) return session->CloseFile(handle);
  return Files().Close(handle);
}

bool CGafRawFile::Exists(const char* fileName) const { return Files().Exists(fileName); }

bool CGafRawFile::Read(FileHandle handle, void* buffer, uint32_t count) const {
  return Files().Read(handle, buffer, count);
}

bool CGafRawFile::Write(FileHandle handle, const void* buffer, uint32_t count) const {
  if (WriteSession* session = env_->Sessions().ForHandle(handle)) return session->WriteFile(handle, buffer, count);
  return Files().Write(handle, buffer, count);
}

bool CGafRawFile::Seek(FileHandle handle, int32_t distance, SeekOrigin origin) const {
  return Files().Seek(handle, distance, origin);
}

bool CGafRawFile::Tell(FileHandle handle, uint32_t& position) const { return Files().Tell(handle, position); }

bool CGafRawFile::Size(FileHandle handle, uint32_t& size) const { return Files().Size(handle, size); }

bool CGafRawFile::Truncate(FileHandle handle, uint32_t size) const {
  if (WriteSession* session = env_->Sessions().ForHandle(handle)) return session->TruncateFile(handle, size);
  return Files().Truncate(handle, size);
}

bool CGafRawFile::Sync(FileHandle handle) const { return Files().Sync(handle); }

bool CGafRawFile::TempFileName(char* name) const { return Files().TempFileName(name); }

bool CGafRawFile::Replace(const char* source, const char* target) const { return Files().Replace(source, target); }

bool CGafRawFile::Delete(const char* fileName) const { return Files().Delete(fileName); }

bool CGafRawFile::Unlock(FileHandle handle) const { return Files().Unlock(handle); }

bool CGafRawFile::LockShared(FileHandle handle) const { return Files().LockShared(handle); }

bool CGafRawFile::IdentityOf(FileHandle handle, FileIdentity& identity) const {
  return Files().IdentityOf(handle, identity);
}

bool CGafRawFile::IdentityAt(const char* fileName, FileIdentity& identity) const {
  return Files().IdentityAt(fileName, identity);
}

bool CGafRawFile::ReadStampClock(StampClockReading& reading) const { return Files().ReadStampClock(reading); }

}  // namespace kro
