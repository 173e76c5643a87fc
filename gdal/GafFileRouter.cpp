#include "GafFileRouter.h"

#include <cstring>

#include "GafFileCopy.h"
#include "GafVirtualFileSystem.h"

namespace kro {

bool IsVirtualFileName(const char* fileName) { return fileName != nullptr && std::strncmp(fileName, "/vsi", 4) == 0; }

FileSystem& GafFileRouter::ForHandle(FileHandle handle) {
  return handle >= kFirstVirtualHandle ? virtualFiles_ : otherFiles_;
}

bool GafFileRouter::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  FileSystem& files = ForName(fileName);
  if (!files.Open(fileName, flagWord, handle)) return false;
  if (&ForHandle(handle) == &files) return true;
  // A handle of the other side's range would be sent to the wrong side later.
  files.Close(handle);
  handle = kInvalidFileHandle;
  return false;
}

bool GafFileRouter::Replace(const char* source, const char* target) {
  FileSystem& sourceFiles = ForName(source);
  FileSystem& targetFiles = ForName(target);
  if (&sourceFiles == &targetFiles) return sourceFiles.Replace(source, target);
  return CopyThenDelete(sourceFiles, source, targetFiles, target);
}

}  // namespace kro
