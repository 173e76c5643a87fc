#include "engine/indexfile/IndexTempFile.h"

namespace kro {

bool IndexTempFile::Create() {
  if (!files_.TempFileName(name_)) {
    // The name may have been made, and the file with it, before the failure.
    if (name_[0] != '\0' && files_.Exists(name_)) files_.Delete(name_);
    name_[0] = '\0';
    return false;
  }
  return files_.Open(name_, kOpenReadWrite, handle_);
}

bool IndexTempFile::CloseHandle() {
  // The file is about to be moved into place: its bytes reach the disk
  // before its new name can.
  const bool synced = files_.Sync(handle_);
  const bool closed = files_.Close(handle_) && synced;
  handle_ = kInvalidFileHandle;
  return closed;
}

void IndexTempFile::Discard() {
  if (handle_ != kInvalidFileHandle) CloseHandle();
  if (name_[0] != '\0') files_.Delete(name_);
  name_[0] = '\0';
}

}  // namespace kro
