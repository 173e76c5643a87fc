#include "engine/indexfile/IndexTempFile.h"

#include "engine/fileaccess/CGafRawFile.h"

namespace kro {

bool IndexTempFile::Create() {
  if (!CGafRawFile::TempFileName(name_)) {
    // The name may have been made, and the file with it, before the failure.
    if (name_[0] != '\0' && CGafRawFile::Exists(name_)) CGafRawFile::Delete(name_);
    name_[0] = '\0';
    return false;
  }
  return CGafRawFile::Open(name_, kOpenReadWrite, handle_);
}

bool IndexTempFile::CloseHandle() {
  const bool closed = CGafRawFile::Close(handle_);
  handle_ = kInvalidFileHandle;
  return closed;
}

void IndexTempFile::Discard() {
  if (handle_ != kInvalidFileHandle) CloseHandle();
  if (name_[0] != '\0') CGafRawFile::Delete(name_);
  name_[0] = '\0';
}

}  // namespace kro
