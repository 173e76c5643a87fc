// PosixFileSystem: the calls that let a reader keep its files open without
// holding them: dropping and retaking the lock, and the identities and the
// clock that tell whether a file changed in between.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>

#include <cerrno>

#include "platform/PosixFileSystem.h"

namespace kro {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000;

int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * kNanosPerSecond + time.tv_nsec;
}

FileIdentity IdentityFrom(const struct stat& info) {
  FileIdentity identity;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.inode = static_cast<uint64_t>(info.st_ino);
  identity.size = static_cast<uint64_t>(info.st_size);
  identity.modifiedNs = Nanoseconds(info.st_mtim);
  identity.changedNs = Nanoseconds(info.st_ctim);
  return identity;
}

bool LockWithoutWaiting(int fd, int operation) {
  for (;;) {
    if (::flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

bool IsRemoteFileSystemType(uint64_t type) {
  // NFS, SMB, CIFS, SMB2, FUSE, Coda, AFS (two), Ceph, 9P, Lustre, GPFS.
  static constexpr uint64_t kRemote[] = {0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546, 0x73757245,
                                         0x5346414F, 0x6B414653, 0x00C36400, 0x01021997, 0x0BD00BD0, 0x47504653};
  for (const uint64_t remote : kRemote) {
    if (type == remote) return true;
  }
  return false;
}

bool PosixFileSystem::Unlock(FileHandle handle) { return IsOpen(handle) && LockWithoutWaiting(handle, LOCK_UN); }

bool PosixFileSystem::LockShared(FileHandle handle) { return IsOpen(handle) && LockWithoutWaiting(handle, LOCK_SH); }

bool PosixFileSystem::IdentityOf(FileHandle handle, FileIdentity& identity) {
  struct stat info;
  struct statfs volume;
  if (!IsOpen(handle) || ::fstat(handle, &info) != 0 || ::fstatfs(handle, &volume) != 0 ||
      IsRemoteFileSystemType(static_cast<uint64_t>(volume.f_type))) {
    return false;
  }
  identity = IdentityFrom(info);
  return true;
}

bool PosixFileSystem::IdentityAt(const char* fileName, FileIdentity& identity) {
  struct stat info;
  if (fileName == nullptr || ::stat(fileName, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  identity = IdentityFrom(info);
  return true;
}

bool PosixFileSystem::ReadStampClock(StampClockReading& reading) {
  struct timespec now;
  struct timespec resolution;
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0 || ::clock_getres(CLOCK_REALTIME_COARSE, &resolution) != 0) {
    return false;
  }
  reading.nowNs = Nanoseconds(now);
  reading.resolutionNs = Nanoseconds(resolution);
  return true;
}

}  // namespace kro
