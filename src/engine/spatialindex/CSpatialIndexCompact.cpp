// Compaction: the tree is copied depth first into a temporary file without
// free blocks (each internal block before its descendants, each subtree
// contiguous), which then replaces the index file.
//
// The index file stays open and untouched until the replacement succeeded,
// and the header is restored from a copy on every failure or abort, so a
// compaction that does not finish leaves the object exactly as it was.
#include <cstring>

#include "engine/indexfile/IndexTempFile.h"
#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {

EngineStatus CSpatialIndex::Compact(CIndexProgress* progress, char* keepName) {
  if (!IsOpen() || Handle() == kInvalidFileHandle) return eSifCannotOpen;
  EndWalks();
  EngineStatus status = cache_->FlushNodes(true);
  if (status != kEngineOk) return status;

  const SifHeader saved = header_;
  IndexTempFile temp(RawFile());
  if (!temp.Create()) return eSifTempFileError;
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

EngineStatus CSpatialIndex::CopyTree(IndexTempFile& temp, uint32_t& newFileSize, CIndexProgress* progress) {
  // The header's place; the header itself is written once the copy is done.
  const unsigned char zeros[kIndexHeaderSize] = {};
  if (!RawFile().Seek(temp.Handle(), 0, SeekOrigin::kBegin) ||
      !RawFile().Write(temp.Handle(), zeros, kIndexHeaderSize)) {
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

EngineStatus CSpatialIndex::PutCompactedFileInPlace(IndexTempFile& temp, uint32_t newFileSize, char* keepName) {
  if (WriteHeader(temp.Handle()) != kEngineOk || !temp.CloseHandle()) return eSifTempWriteError;
  const ReplaceResult result = ReplaceWithRebuilt(temp, keepName);
  if (result == ReplaceResult::kReplaceFailed) return eSifReplaceFailed;
  // From here on the file holds the compacted tree that header_ describes,
  // whose free lists are empty.
  freeLists_[0] = freeLists_[1] = FreeListState{true, 0};
  if (result == ReplaceResult::kReplaced) return kEngineOk;
  SetFileSize(newFileSize);
  return result == ReplaceResult::kReopenFailed ? eSifCannotOpen : eSifReadError;
}

}  // namespace kro
