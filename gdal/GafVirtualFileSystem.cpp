#include "GafVirtualFileSystem.h"

#include "GafFileCopy.h"

namespace kro {
namespace {

bool StatOf(const char* fileName, VSIStatBufL& stat) {
  return VSIStatExL(fileName, &stat, VSI_STAT_EXISTS_FLAG | VSI_STAT_NATURE_FLAG) == 0;
}

// The fopen mode of a write open; null when the flags refuse the file as it
// is (an existing file with "create new", a missing one without creation).
const char* WriteModeFor(uint32_t flagWord, bool exists) {
  if (flagWord & kOpenCreateNew) return exists ? nullptr : "w+b";
  if (flagWord & kOpenCreateTruncate) return "w+b";
  if (flagWord & kOpenCreateAlways) return exists ? "r+b" : "w+b";
  return exists ? "r+b" : nullptr;
}

bool SeekTo(VSILFILE* file, uint64_t offset) {
  return offset <= kMaxFileOffset && VSIFSeekL(file, offset, SEEK_SET) == 0;
}

bool SizeOf(VSILFILE* file, uint64_t& size) {
  const vsi_l_offset resume = VSIFTellL(file);
  if (VSIFSeekL(file, 0, SEEK_END) != 0) return false;
  size = VSIFTellL(file);
  return VSIFSeekL(file, resume, SEEK_SET) == 0;
}

}  // namespace

GafVirtualFileSystem::OpenFile* GafVirtualFileSystem::Find(FileHandle handle) {
  if (handle < kFirstVirtualHandle) return nullptr;
  const auto slot = static_cast<size_t>(handle - kFirstVirtualHandle);
  std::lock_guard<std::mutex> lock(mutex_);
  return slot < table_.size() ? table_[slot].get() : nullptr;
}

FileHandle GafVirtualFileSystem::Keep(std::unique_ptr<OpenFile>& file) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t slot = 0;
  while (slot < table_.size() && table_[slot] != nullptr) ++slot;
  if (slot == kMaxOpenFiles) return kInvalidFileHandle;
  if (slot == table_.size()) table_.emplace_back();
  table_[slot] = std::move(file);
  return kFirstVirtualHandle + static_cast<FileHandle>(slot);
}

std::unique_ptr<GafVirtualFileSystem::OpenFile> GafVirtualFileSystem::Take(FileHandle handle) {
  if (handle < kFirstVirtualHandle) return nullptr;
  const auto slot = static_cast<size_t>(handle - kFirstVirtualHandle);
  std::lock_guard<std::mutex> lock(mutex_);
  return slot < table_.size() ? std::move(table_[slot]) : nullptr;
}

bool GafVirtualFileSystem::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  handle = kInvalidFileHandle;
  if (fileName == nullptr) return false;
  const bool readOnly = (flagWord & kOpenReadOnly) != 0;
  if (!readOnly && ((flagWord & kOpenReadWrite) == 0 || !VSISupportsRandomWrite(fileName, false))) return false;
  auto file = std::make_unique<OpenFile>();
  file->name = fileName;
  file->exclusive = !readOnly;
  // The lock comes first, so that a file somebody else holds is never emptied.
  if (!locks_.Take(file->name, file->exclusive)) return false;
  if (OpenLocked(fileName, flagWord, *file)) {
    handle = Keep(file);
    if (handle != kInvalidFileHandle) return true;
    VSIFCloseL(file->file);
  }
  locks_.Release(fileName, !readOnly);
  return false;
}

bool GafVirtualFileSystem::OpenLocked(const char* fileName, uint32_t flagWord, OpenFile& file) {
  VSIStatBufL stat;
  const bool exists = StatOf(fileName, stat);
  // Only a regular file is a set's file, never a directory.
  if (exists && !VSI_ISREG(stat.st_mode)) return false;
  const char* mode = (flagWord & kOpenReadOnly) ? (exists ? "rb" : nullptr) : WriteModeFor(flagWord, exists);
  if (mode == nullptr) return false;
  file.file = VSIFOpenExL(fileName, mode, FALSE);
  return file.file != nullptr;
}

bool GafVirtualFileSystem::Close(FileHandle handle) {
  const std::unique_ptr<OpenFile> file = Take(handle);
  if (file == nullptr) return false;
  const bool closed = VSIFCloseL(file->file) == 0;
  locks_.Release(file->name, file->exclusive);
  return closed;
}

bool GafVirtualFileSystem::Exists(const char* fileName) {
  VSIStatBufL stat;
  return fileName != nullptr && VSIStatExL(fileName, &stat, VSI_STAT_EXISTS_FLAG) == 0;
}

bool GafVirtualFileSystem::Read(FileHandle handle, void* buffer, uint32_t count) {
  OpenFile* file = Find(handle);
  return file != nullptr && VSIFReadL(buffer, 1, count, file->file) == count;
}

bool GafVirtualFileSystem::Write(FileHandle handle, const void* buffer, uint32_t count) {
  OpenFile* file = Find(handle);
  if (file == nullptr || !file->exclusive) return false;
  // A file must stay addressable by 32-bit offsets; refuse to grow past that.
  if (VSIFTellL(file->file) + count > kMaxFileOffset) return false;
  return VSIFWriteL(buffer, 1, count, file->file) == count;
}

bool GafVirtualFileSystem::Seek(FileHandle handle, int32_t distance, SeekOrigin origin) {
  OpenFile* file = Find(handle);
  if (file == nullptr) return false;
  uint64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = VSIFTellL(file->file);
  if (origin == SeekOrigin::kEnd && !SizeOf(file->file, base)) return false;
  const int64_t target = static_cast<int64_t>(base) + distance;
  return target >= 0 && SeekTo(file->file, static_cast<uint64_t>(target));
}

bool GafVirtualFileSystem::Tell(FileHandle handle, uint32_t& position) {
  OpenFile* file = Find(handle);
  if (file == nullptr) return false;
  const vsi_l_offset offset = VSIFTellL(file->file);
  if (offset > kMaxFileOffset) return false;
  position = static_cast<uint32_t>(offset);
  return true;
}

bool GafVirtualFileSystem::Size(FileHandle handle, uint32_t& size) {
  OpenFile* file = Find(handle);
  uint64_t bytes = 0;
  if (file == nullptr || !SizeOf(file->file, bytes) || bytes > kMaxFileOffset) return false;
  size = static_cast<uint32_t>(bytes);
  return true;
}

bool GafVirtualFileSystem::Truncate(FileHandle handle, uint32_t size) {
  OpenFile* file = Find(handle);
  return file != nullptr && file->exclusive && size <= kMaxFileOffset && VSIFTruncateL(file->file, size) == 0 &&
         SeekTo(file->file, size);
}

bool GafVirtualFileSystem::Sync(FileHandle handle) {
  OpenFile* file = Find(handle);
  return file != nullptr && VSIFFlushL(file->file) == 0;
}

bool GafVirtualFileSystem::SyncDirectory(const char* fileName) { return fileName != nullptr; }

bool GafVirtualFileSystem::TempFileName(char* name) {
  name[0] = '\0';
  return false;
}

bool GafVirtualFileSystem::Replace(const char* source, const char* target) {
  if (source == nullptr || target == nullptr) return false;
  return VSIRename(source, target) == 0 || CopyThenDelete(*this, source, *this, target);
}

bool GafVirtualFileSystem::Delete(const char* fileName) { return fileName != nullptr && VSIUnlink(fileName) == 0; }

}  // namespace kro
