// Compaction: the tree is copied depth first into a temporary file without
// free blocks (each internal block before its descendants, each subtree
// contiguous), which then replaces the index file.
//
// The index file stays open and untouched until the replacement succeeded,
// and the header is restored from a copy on every failure or abort, so a
// compaction that does not finish leaves the object exactly as it was.
#include <cstring>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {

// The temporary file of one compaction: closed and deleted on every path
// unless it was moved into place or handed to the caller.
class CSpatialIndex::TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  EngineStatus Create() {
    if (!CGafRawFile::TempFileName(name_)) {
      name_[0] = '\0';
      return eSifTempFileError;
    }
    if (!CGafRawFile::Open(name_, kOpenReadWrite, handle_)) return eSifTempFileError;
    return kEngineOk;
  }
  FileHandle Handle() const { return handle_; }
  const char* Name() const { return name_; }
  bool CloseHandle() {
    const bool closed = CGafRawFile::Close(handle_);
    handle_ = kInvalidFileHandle;
    return closed;
  }
  // The file now belongs elsewhere (moved into place, or kept for the caller).
  void Release() { name_[0] = '\0'; }

 private:
  void Discard() {
    if (handle_ != kInvalidFileHandle) CloseHandle();
    if (name_[0] != '\0') CGafRawFile::Delete(name_);
    name_[0] = '\0';
  }

  char name_[kMaxPathBytes] = {};
  FileHandle handle_ = kInvalidFileHandle;
};

EngineStatus CSpatialIndex::Compact(CIndexProgress* progress, char* keepName) {
  if (!IsOpen() || Handle() == kInvalidFileHandle) return eSifCannotOpen;
  EndWalks();
  EngineStatus status = cache_->FlushNodes(true);
  if (status != kEngineOk) return status;

  const SifHeader saved = header_;
  TempFile temp;
  status = temp.Create();
  if (status != kEngineOk) return status;
  if (progress != nullptr && header_.objectCount != 0) progress->SetRange(0, header_.objectCount);

  uint32_t newFileSize = kIndexHeaderSize;
  status = CopyTree(temp, newFileSize, progress);
  // The copy gave the root and the cached nodes positions in the new file;
  // nothing cached may survive, whatever the outcome.
  cache_->FlushNodes(false);
  if (status != kEngineOk || Aborted(progress)) {
    header_ = saved;
    return status;
  }
  if (progress != nullptr && header_.objectCount == 0) progress->SetPosition(100);

  header_.freeInternalHead = 0;
  header_.freeLeafHead = 0;
  status = PutCompactedFileInPlace(temp, newFileSize, keepName);
  if (status == eSifTempWriteError || status == eSifReplaceFailed) header_ = saved;
  return status;
}

EngineStatus CSpatialIndex::CopyTree(TempFile& temp, uint32_t& newFileSize, CIndexProgress* progress) {
  // The header's place; the header itself is written once the copy is done.
  const unsigned char zeros[kIndexHeaderSize] = {};
  if (!CGafRawFile::Seek(temp.Handle(), 0, SeekOrigin::kBegin) ||
      !CGafRawFile::Write(temp.Handle(), zeros, kIndexHeaderSize)) {
    return eSifTempWriteError;
  }
  if (header_.rootPosition == 0) return kEngineOk;
  // Read past the cache: cached copies may already carry new positions.
  EngineStatus status = cache_->PushNode(header_.rootPosition, header_.height - 1, false);
  if (status == kEngineOk) status = CopySubtree(temp.Handle(), header_.rootPosition, newFileSize, progress);
  cache_->ClearStack();
  return status;
}

EngineStatus CSpatialIndex::CopySubtree(FileHandle file, uint32_t& slot, uint32_t& fileEnd,
                                        CIndexProgress* progress) {
  SifNode& node = *cache_->TopNode();
  const uint32_t size = header_.BlockSize(node.level);
  if (fileEnd > kMaxFileOffset - size) return eSifTempWriteError;
  // The node's place is taken before its descendants', so every internal
  // block precedes its subtree; it is written once its children's new
  // positions are known.
  node.position = fileEnd;
  slot = fileEnd;
  fileEnd += size;

  if (node.IsLeaf()) {
    if (progress != nullptr) progress->SetPosition(progress->GetPosition() + node.count);
  } else {
    for (uint32_t i = 0; i < node.count; ++i) {
      EngineStatus status = cache_->PushNode(node.child[i], node.level - 1, false);
      if (status != kEngineOk) return status;
      status = CopySubtree(file, node.child[i], fileEnd, progress);
      cache_->PopNode();
      if (status != kEngineOk) return status;
      if (Aborted(progress)) return kEngineOk;
    }
  }
  if (Aborted(progress)) return kEngineOk;
  return WriteNode(file, node) == kEngineOk ? kEngineOk : eSifTempWriteError;
}

EngineStatus CSpatialIndex::PutCompactedFileInPlace(TempFile& temp, uint32_t newFileSize, char* keepName) {
  if (WriteHeader(temp.Handle()) != kEngineOk || !temp.CloseHandle()) return eSifTempWriteError;
  // The index file stays open through the move (renaming over an open file is
  // safe here), so a failed replacement leaves the object on its old file.
  if (!CGafRawFile::Replace(temp.Name(), FileName().c_str())) {
    if (keepName != nullptr) {
      std::memcpy(keepName, temp.Name(), std::strlen(temp.Name()) + 1);
      temp.Release();
    }
    return eSifReplaceFailed;
  }
  temp.Release();
  // From here on the file holds the compacted tree that header_ describes.
  freeLists_[0] = freeLists_[1] = FreeListState{true, 0};
  SetFileSize(newFileSize);
  if (!ReopenIndexFile()) return eSifCannotOpen;
  uint32_t size = 0;
  if (!CGafRawFile::Size(Handle(), size)) return eSifReadError;
  SetFileSize(size);
  return kEngineOk;
}

}  // namespace kro
