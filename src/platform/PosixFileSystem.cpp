#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kro {
namespace {

int CreationFlags(uint32_t flagWord) {
  // 4 wins over 8 and 8 over 16. Truncation waits until the lock is held, so
  // that a file somebody else is writing is never emptied under them.
  if (flagWord & kOpenCreateNew) return O_CREAT | O_EXCL;
  if (flagWord & (kOpenCreateTruncate | kOpenCreateAlways)) return O_CREAT;
  return 0;
}

// Reads exactly `count` bytes at `offset`; `done` tells how many arrived.
bool ReadFullyAt(int fd, void* buffer, uint32_t count, uint64_t offset, uint32_t& done) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<uint32_t>(got);
  }
  return true;
}

bool WriteFullyAt(int fd, const void* buffer, uint32_t count, uint64_t offset, uint32_t& done) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  done = 0;
  while (done < count) {
    const ssize_t put = ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<uint32_t>(put);
  }
  return true;
}

bool WriteFully(int fd, const void* buffer, uint32_t count) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(fd, bytes + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<uint32_t>(put);
  }
  return true;
}

std::string TemporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') dir = "/tmp";
  std::string result(dir);
  if (result.back() != '/') result += '/';
  return result;
}

// Copies `source` beside `target` and renames the copy into place, so that the
// target is replaced atomically even when the source lies on another file
// system; the source is deleted afterwards.
bool CopyThenRename(const char* source, const char* target) {
  const int in = ::open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::string staging = std::string(target) + ".IDFXXXXXX";
  const int out = ::mkstemp(&staging[0]);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(in, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (!WriteFully(out, chunk, static_cast<uint32_t>(got))) {
      ok = false;
      break;
    }
  }
  ok = ::fsync(out) == 0 && ok;
  ok = ::close(out) == 0 && ok;
  ::close(in);
  if (ok) ok = ::rename(staging.c_str(), target) == 0;
  if (!ok) {
    ::unlink(staging.c_str());
    return false;
  }
  ::unlink(source);
  return true;
}

}  // namespace

bool PosixFileSystem::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  handle = kInvalidFileHandle;
  if (fileName == nullptr) return false;
  const bool readOnly = (flagWord & kOpenReadOnly) != 0;
  if (!readOnly && (flagWord & kOpenReadWrite) == 0) return false;
  const int flags = readOnly ? O_RDONLY : (O_RDWR | CreationFlags(flagWord));
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; whatever
  // the name turns out to be, only a regular file is kept, and its
  // descriptor is made blocking again.
  const int fd = ::open(fileName, flags | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  struct stat info;
  const int statusFlags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || statusFlags < 0 ||
      ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0 ||
      ::flock(fd, (readOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  const bool truncate = !readOnly && (flagWord & kOpenCreateNew) == 0 &&
                        (flagWord & kOpenCreateTruncate) != 0;
  if (truncate && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return false;
  }
  if (fd >= kMaxHandles) {
    ::close(fd);
    return false;
  }
  SetOffset(fd, 0);
  handle = fd;
  return true;
}

bool PosixFileSystem::Close(FileHandle handle) {
  if (handle == kInvalidFileHandle) return false;
  if (handle >= 0 && handle < kMaxHandles) SetOffset(handle, kNotOpen);
  return ::close(handle) == 0;
}

PosixFileSystem::PosixFileSystem() : offsets_(new std::atomic<uint64_t>[kMaxHandles]) {
  for (int i = 0; i < kMaxHandles; ++i) offsets_[i].store(kNotOpen, std::memory_order_relaxed);
}

bool PosixFileSystem::OffsetOf(FileHandle handle, uint64_t& offset) const {
  if (handle < 0 || handle >= kMaxHandles) return false;
  offset = offsets_[handle].load(std::memory_order_relaxed);
  return offset != kNotOpen;
}

void PosixFileSystem::SetOffset(FileHandle handle, uint64_t offset) {
  offsets_[handle].store(offset, std::memory_order_relaxed);
}

bool PosixFileSystem::Exists(const char* fileName) {
  struct stat info;
  return fileName != nullptr && ::stat(fileName, &info) == 0;
}

bool PosixFileSystem::Read(FileHandle handle, void* buffer, uint32_t count) {
  uint64_t offset = 0;
  if (!OffsetOf(handle, offset)) return false;
  uint32_t done = 0;
  const bool ok = ReadFullyAt(handle, buffer, count, offset, done);
  SetOffset(handle, offset + done);  // a short read moves the offset as far as it got
  return ok;
}

bool PosixFileSystem::Write(FileHandle handle, const void* buffer, uint32_t count) {
  uint64_t offset = 0;
  if (!OffsetOf(handle, offset)) return false;
  // A file must stay addressable by 32-bit offsets; refuse to grow past that.
  if (offset + count > kMaxFileOffset) return false;
  uint32_t done = 0;
  const bool ok = WriteFullyAt(handle, buffer, count, offset, done);
  SetOffset(handle, offset + done);
  return ok;
}

bool PosixFileSystem::Seek(FileHandle handle, int32_t distance, SeekOrigin origin) {
  uint64_t base = 0;
  if (!OffsetOf(handle, base)) return false;
  if (origin == SeekOrigin::kBegin) {
    base = 0;
  } else if (origin == SeekOrigin::kEnd) {
    struct stat info;
    if (::fstat(handle, &info) != 0) return false;
    base = static_cast<uint64_t>(info.st_size);
  }
  const int64_t target = static_cast<int64_t>(base) + distance;
  if (target < 0 || static_cast<uint64_t>(target) > kMaxFileOffset) return false;
  SetOffset(handle, static_cast<uint64_t>(target));
  return true;
}

bool PosixFileSystem::Tell(FileHandle handle, uint32_t& position) {
  uint64_t offset = 0;
  if (!OffsetOf(handle, offset) || offset > kMaxFileOffset) return false;
  position = static_cast<uint32_t>(offset);
  return true;
}

bool PosixFileSystem::Size(FileHandle handle, uint32_t& size) {
  if (handle == kInvalidFileHandle) return false;
  struct stat info;
  if (::fstat(handle, &info) != 0 || static_cast<uint64_t>(info.st_size) > kMaxFileOffset) return false;
  size = static_cast<uint32_t>(info.st_size);
  return true;
}

bool PosixFileSystem::Truncate(FileHandle handle, uint32_t size) {
  uint64_t offset = 0;
  if (!OffsetOf(handle, offset) || size > kMaxFileOffset) return false;
  SetOffset(handle, size);
  return ::ftruncate(handle, static_cast<off_t>(size)) == 0;
}

bool PosixFileSystem::Sync(FileHandle handle) { return IsOpen(handle) && ::fdatasync(handle) == 0; }

bool PosixFileSystem::SyncDirectory(const char* fileName) {
  if (fileName == nullptr) return false;
  std::string directory(fileName);
  const size_t slash = directory.rfind('/');
  directory = slash == std::string::npos ? std::string(".") : directory.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool PosixFileSystem::TempFileName(char* name) {
  const std::string pattern = TemporaryDirectory() + "IDFXXXXXX";
  if (pattern.size() >= kMaxPathBytes) return false;
  std::memcpy(name, pattern.c_str(), pattern.size() + 1);
  const int fd = ::mkstemp(name);
  if (fd < 0) {
    name[0] = '\0';
    return false;
  }
  ::close(fd);
  return true;
}

bool PosixFileSystem::Replace(const char* source, const char* target) {
  if (::rename(source, target) == 0) return true;
  if (errno != EXDEV) return false;
  return CopyThenRename(source, target);
}

bool PosixFileSystem::Delete(const char* fileName) { return ::unlink(fileName) == 0; }

FileSystem& OperatingSystemFiles() {
  // Never destroyed, so that files closed by objects destroyed at exit still
  // find their offsets.
  static PosixFileSystem* files = new PosixFileSystem();
  return *files;
}

}  // namespace kro
