#include "engine/fileaccess/CGafRawFile.h"

#include <atomic>

#include "engine/writesession/WriteSession.h"

namespace kro {
namespace {

std::atomic<FileSystem*> g_files{nullptr};

}  // namespace

FileSystem& CGafRawFile::Files() {
  FileSystem* files = g_files.load(std::memory_order_acquire);
  return files != nullptr ? *files : OperatingSystemFiles();
}

FileSystem* CGafRawFile::SetFileSystem(FileSystem* files) {
  return g_files.exchange(files, std::memory_order_acq_rel);
}

bool CGafRawFile::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  handle = kInvalidFileHandle;
  if ((flagWord & kOpenReadOnly) == 0) {
    if (WriteSession* session = WriteSession::ForName(fileName)) return session->OpenFile(fileName, flagWord, handle);
  }
  return Files().Open(fileName, flagWord, handle);
}

bool CGafRawFile::Close(FileHandle handle) {
  if (handle == kInvalidFileHandle) return false;
  if (WriteSession* session = WriteSession::ForHandle(handle)) return session->CloseFile(handle);
  return Files().Close(handle);
}

bool CGafRawFile::Exists(const char* fileName) { return Files().Exists(fileName); }

bool CGafRawFile::Read(FileHandle handle, void* buffer, uint32_t count) {
  return Files().Read(handle, buffer, count);
}

bool CGafRawFile::Write(FileHandle handle, const void* buffer, uint32_t count) {
  if (WriteSession* session = WriteSession::ForHandle(handle)) return session->WriteFile(handle, buffer, count);
  return Files().Write(handle, buffer, count);
}

bool CGafRawFile::Seek(FileHandle handle, int32_t distance, SeekOrigin origin) {
  return Files().Seek(handle, distance, origin);
}

bool CGafRawFile::Tell(FileHandle handle, uint32_t& position) { return Files().Tell(handle, position); }

bool CGafRawFile::Size(FileHandle handle, uint32_t& size) { return Files().Size(handle, size); }

bool CGafRawFile::Truncate(FileHandle handle, uint32_t size) {
  if (WriteSession* session = WriteSession::ForHandle(handle)) return session->TruncateFile(handle, size);
  return Files().Truncate(handle, size);
}

bool CGafRawFile::Sync(FileHandle handle) { return Files().Sync(handle); }

bool CGafRawFile::TempFileName(char* name) { return Files().TempFileName(name); }

bool CGafRawFile::Replace(const char* source, const char* target) {
  return Files().Replace(source, target);
}

bool CGafRawFile::Delete(const char* fileName) { return Files().Delete(fileName); }

bool CGafRawFile::Unlock(FileHandle handle) { return Files().Unlock(handle); }

bool CGafRawFile::LockShared(FileHandle handle) { return Files().LockShared(handle); }

bool CGafRawFile::IdentityOf(FileHandle handle, FileIdentity& identity) {
  return Files().IdentityOf(handle, identity);
}

bool CGafRawFile::IdentityAt(const char* fileName, FileIdentity& identity) {
  return Files().IdentityAt(fileName, identity);
}

bool CGafRawFile::ReadStampClock(StampClockReading& reading) { return Files().ReadStampClock(reading); }

}  // namespace kro
