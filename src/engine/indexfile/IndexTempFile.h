// The temporary file of one index rebuild: made empty in the temporary
// directory and opened for writing, then closed and deleted on every path
// unless it was moved into place or handed to the caller.
#ifndef KRO_ENGINE_INDEXFILE_INDEXTEMPFILE_H
#define KRO_ENGINE_INDEXFILE_INDEXTEMPFILE_H

#include "engine/fileaccess/CGafRawFile.h"
#include "platform/FileSystem.h"

namespace kro {

class IndexTempFile {
 public:
  explicit IndexTempFile(const CGafRawFile& files) : files_(files) {}
  ~IndexTempFile() { Discard(); }
  IndexTempFile(const IndexTempFile&) = delete;
  IndexTempFile& operator=(const IndexTempFile&) = delete;

  // False when no name could be had or the file could not be opened; no
  // file is left behind then.
  bool Create();
  FileHandle Handle() const { return handle_; }
  const char* Name() const { return name_; }
  // Syncs and closes the file; false when either failed.
  bool CloseHandle();
  // The file belongs elsewhere now (moved into place, or kept for the
  // caller): it is no longer deleted.
  void Release() { name_[0] = '\0'; }

 private:
  void Discard();

  CGafRawFile files_;
  char name_[kMaxPathBytes] = {};
  FileHandle handle_ = kInvalidFileHandle;
};

}  // namespace kro

#endif
