// The file services of a dataset's environment (GafOpenFiles): names that
// start with "/vsi" go to GDAL's virtual file layer, every other name to the
// disk's file services (the operating system's, with its locks and the
// rollback journal unchanged, or a test's). A handle tells by its range which
// side opened it (GafVirtualFileSystem.h), so the two never mix.
#ifndef KRO_GDAL_GAFFILEROUTER_H
#define KRO_GDAL_GAFFILEROUTER_H

#include "platform/FileSystem.h"

namespace kro {

bool IsVirtualFileName(const char* fileName);

class GafFileRouter : public FileSystem {
 public:
  GafFileRouter(FileSystem& virtualFiles, FileSystem& otherFiles)
      : virtualFiles_(virtualFiles), otherFiles_(otherFiles) {}

  bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle) override;
  bool Close(FileHandle handle) override { return ForHandle(handle).Close(handle); }
  bool Exists(const char* fileName) override { return ForName(fileName).Exists(fileName); }
  bool Read(FileHandle handle, void* buffer, uint32_t count) override {
    return ForHandle(handle).Read(handle, buffer, count);
  }
  bool Write(FileHandle handle, const void* buffer, uint32_t count) override {
    return ForHandle(handle).Write(handle, buffer, count);
  }
  bool Seek(FileHandle handle, int32_t distance, SeekOrigin origin) override {
    return ForHandle(handle).Seek(handle, distance, origin);
  }
  bool Tell(FileHandle handle, uint32_t& position) override { return ForHandle(handle).Tell(handle, position); }
  bool Size(FileHandle handle, uint32_t& size) override { return ForHandle(handle).Size(handle, size); }
  bool Truncate(FileHandle handle, uint32_t size) override { return ForHandle(handle).Truncate(handle, size); }
  bool Sync(FileHandle handle) override { return ForHandle(handle).Sync(handle); }
  bool SyncDirectory(const char* fileName) override { return ForName(fileName).SyncDirectory(fileName); }
  // Temporary files are the other side's: a rebuilt index of a virtual set
  // is copied into place.
  bool TempFileName(char* name) override { return otherFiles_.TempFileName(name); }
  bool Replace(const char* source, const char* target) override;
  bool Delete(const char* fileName) override { return ForName(fileName).Delete(fileName); }
  bool Unlock(FileHandle handle) override { return ForHandle(handle).Unlock(handle); }
  bool LockShared(FileHandle handle) override { return ForHandle(handle).LockShared(handle); }
  bool IdentityOf(FileHandle handle, FileIdentity& identity) override {
    return ForHandle(handle).IdentityOf(handle, identity);
  }
  bool IdentityAt(const char* fileName, FileIdentity& identity) override {
    return ForName(fileName).IdentityAt(fileName, identity);
  }
  bool ReadStampClock(StampClockReading& reading) override { return otherFiles_.ReadStampClock(reading); }

 private:
  FileSystem& ForName(const char* fileName) { return IsVirtualFileName(fileName) ? virtualFiles_ : otherFiles_; }
  FileSystem& ForHandle(FileHandle handle);

  FileSystem& virtualFiles_;
  FileSystem& otherFiles_;
};

}  // namespace kro

#endif
