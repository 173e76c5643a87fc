// The engine's file services over GDAL's virtual file layer (VSIL): what
// lets the driver read a set from /vsizip/, /vsicurl/, /vsis3/, ... and
// read and write one on /vsimem/.
//
// Where a virtual system cannot give what the write journal expects:
//  - locks: kept inside the process (GafVirtualFileLocks), shared by every
//    instance;
//  - a durable sync: VSIFFlushL, the most any of them offers; a directory
//    has nothing of its own to sync;
//  - replace: VSIRename, else a copy over the target and a delete of the
//    source, which is not atomic;
//  - temporary files: none here; the router asks the system installed before
//    it for them;
//  - file identities: none, so readers of virtual files are never kept open
//    between uses (parked).
// Opening for writing on a system that cannot write in place (a zip, HTTP,
// an object store) fails; the driver has said why before it gets here.
//
// Handles are kFirstVirtualHandle and up, never a descriptor number.
#ifndef KRO_GDAL_GAFVIRTUALFILESYSTEM_H
#define KRO_GDAL_GAFVIRTUALFILESYSTEM_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "GafVirtualFileLocks.h"
#include "cpl_vsi.h"
#include "platform/FileSystem.h"

namespace kro {

constexpr FileHandle kFirstVirtualHandle = 0x40000000;

class GafVirtualFileSystem : public FileSystem {
 public:
  explicit GafVirtualFileSystem(GafVirtualFileLocks& locks = GafVirtualFileLocks::OfProcess()) : locks_(locks) {}

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

 private:
  struct OpenFile {
    VSILFILE* file = nullptr;
    std::string name;
    bool exclusive = false;
  };

  // The open file behind `handle`, or null. A handle is used by one thread
  // at a time, so the file may be used after the table's mutex is let go.
  OpenFile* Find(FileHandle handle);
  // Takes `file` into the table, or leaves it where it is when the table is full.
  FileHandle Keep(std::unique_ptr<OpenFile>& file);
  std::unique_ptr<OpenFile> Take(FileHandle handle);
  bool OpenLocked(const char* fileName, uint32_t flagWord, OpenFile& file);

  // Open files are few; a bounded table keeps a leak from growing forever.
  static constexpr size_t kMaxOpenFiles = 4096;
  std::mutex mutex_;
  std::vector<std::unique_ptr<OpenFile>> table_;
  GafVirtualFileLocks& locks_;
};

}  // namespace kro

#endif
