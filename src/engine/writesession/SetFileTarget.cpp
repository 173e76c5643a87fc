#include "engine/writesession/SetFileTarget.h"

namespace kro {

std::string JournalNameFor(const std::string& dataFileName) { return dataFileName + "-journal"; }

bool SetFileTarget::WriteBack(uint8_t file, uint32_t offset, const uint8_t* bytes, uint32_t count) {
  const FileHandle handle = handles_[file];
  if (handle == kInvalidFileHandle || offset > kMaxFileOffset) return false;
  return files_.Seek(handle, static_cast<int32_t>(offset), SeekOrigin::kBegin) && files_.Write(handle, bytes, count);
}

bool SetFileTarget::CutTo(uint8_t file, uint32_t length) {
  const FileHandle handle = handles_[file];
  return handle != kInvalidFileHandle && files_.Truncate(handle, length);
}

bool SetFileTarget::Remove(uint8_t file) {
  const char* name = names_[file].c_str();
  return !files_.Exists(name) || files_.Delete(name);
}

bool SetFileTarget::SyncAll() {
  bool ok = true;
  for (const FileHandle handle : handles_) {
    if (handle != kInvalidFileHandle) ok = files_.Sync(handle) && ok;
  }
  return ok;
}

}  // namespace kro
