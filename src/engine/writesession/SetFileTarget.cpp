#include "engine/writesession/SetFileTarget.h"

#include "engine/fileaccess/CGafRawFile.h"

namespace kro {

std::string JournalNameFor(const std::string& dataFileName) { return dataFileName + "-journal"; }

bool SetFileTarget::WriteBack(uint8_t file, uint32_t offset, const uint8_t* bytes, uint32_t count) {
  FileSystem& files = CGafRawFile::Files();
  const FileHandle handle = handles_[file];
  if (handle == kInvalidFileHandle || offset > kMaxFileOffset) return false;
  return files.Seek(handle, static_cast<int32_t>(offset), SeekOrigin::kBegin) && files.Write(handle, bytes, count);
}

bool SetFileTarget::CutTo(uint8_t file, uint32_t length) {
  const FileHandle handle = handles_[file];
  return handle != kInvalidFileHandle && CGafRawFile::Files().Truncate(handle, length);
}

bool SetFileTarget::Remove(uint8_t file) {
  FileSystem& files = CGafRawFile::Files();
  const char* name = names_[file].c_str();
  return !files.Exists(name) || files.Delete(name);
}

bool SetFileTarget::SyncAll() {
  bool ok = true;
  for (const FileHandle handle : handles_) {
    if (handle != kInvalidFileHandle) ok = CGafRawFile::Files().Sync(handle) && ok;
  }
  return ok;
}

}  // namespace kro
