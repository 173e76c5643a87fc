#include "GafFileCopy.h"

#include <algorithm>
#include <vector>

namespace kro {
namespace {

constexpr uint32_t kCopyChunkBytes = 65536;

// Both handles are closed on the way out.
class HandlePair {
 public:
  HandlePair(FileSystem& sourceFiles, FileSystem& targetFiles) : sourceFiles_(sourceFiles), targetFiles_(targetFiles) {}
  ~HandlePair() {
    if (source != kInvalidFileHandle) sourceFiles_.Close(source);
    if (target != kInvalidFileHandle) targetFiles_.Close(target);
  }
  HandlePair(const HandlePair&) = delete;
  HandlePair& operator=(const HandlePair&) = delete;

  FileHandle source = kInvalidFileHandle;
  FileHandle target = kInvalidFileHandle;

 private:
  FileSystem& sourceFiles_;
  FileSystem& targetFiles_;
};

bool CopyContents(FileSystem& sourceFiles, FileHandle source, FileSystem& targetFiles, FileHandle target) {
  uint32_t size = 0;
  if (!sourceFiles.Size(source, size)) return false;
  std::vector<uint8_t> chunk(std::min(size, kCopyChunkBytes));
  // Every turn copies at least one byte of a size known in advance.
  for (uint32_t done = 0; done < size;) {
    const uint32_t count = std::min(size - done, kCopyChunkBytes);
    if (!sourceFiles.Read(source, chunk.data(), count) || !targetFiles.Write(target, chunk.data(), count)) {
      return false;
    }
    done += count;
  }
  return targetFiles.Sync(target);
}

}  // namespace

bool CopyThenDelete(FileSystem& sourceFiles, const char* source, FileSystem& targetFiles, const char* target) {
  {
    HandlePair handles(sourceFiles, targetFiles);
    if (!sourceFiles.Open(source, kOpenReadOnly, handles.source) ||
        !targetFiles.Open(target, kOpenReadWrite | kOpenCreateTruncate, handles.target) ||
        !CopyContents(sourceFiles, handles.source, targetFiles, handles.target)) {
      return false;
    }
  }
  return sourceFiles.Delete(source);
}

}  // namespace kro
