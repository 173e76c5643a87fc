// Compaction: the tree is copied depth first into a temporary file that has
// no free blocks (each internal block before its descendants, each subtree
// contiguous), which then replaces the index file.
//
// The copy gives the nodes in the cache and the header's root position the
// places of the temporary file as it goes. Until the replacement has
// succeeded the index file itself stays open and untouched, so a failed or
// aborted compaction only has to restore the header it saved and discard the
// cache to leave the object exactly as it was.
#include <cstring>

#include "engine/indexfile/IndexTempFile.h"
#include "engine/keyindex/CKeyIndex.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::Compact(CIndexProgress* progress, char* keepName) {
  if (!IsOpen()) return eKifCannotOpen;
  // A tree left half changed is not copied.
  if (changeFailure_ != kEngineOk) return changeFailure_;
  EndSearch();
  EngineStatus status = cache_->FlushNodes(true);
  if (status != kEngineOk) return status;
  const KifHeader savedHeader = header_;
  const FreeListState savedLists[2] = {freeLists_[0], freeLists_[1]};

  IndexTempFile temp(RawFile());
  if (!temp.Create()) return eKifTempFileError;

  status = CopyTree(temp.Handle(), progress);
  const bool aborted = progress != nullptr && progress->IsAborted();
  if (status == kEngineOk && !aborted) {
    header_.freeInternal = 0;
    header_.freeLeaf = 0;
    status = WriteHeader(temp.Handle());
  }
  if (status == kEngineOk && !aborted && !temp.CloseHandle()) status = eKifTempWriteError;
  if (status != kEngineOk || aborted) {
    RestoreAfterCompact(savedHeader, savedLists);
    return status;
  }
  status = PutCompactedFileInPlace(temp, keepName);
  if (status == eKifReplaceFailed) RestoreAfterCompact(savedHeader, savedLists);
  return status;
}

// Reserves the header's place, then copies the tree from the root.
EngineStatus CKeyIndex::CopyTree(FileHandle file, CIndexProgress* progress) {
  if (progress != nullptr && header_.entryCount != 0) progress->SetRange(0, header_.entryCount);
  const unsigned char zeros[kHeaderSize] = {};
  if (!RawFile().Write(file, zeros, kHeaderSize)) return eKifTempWriteError;
  EngineStatus status = kEngineOk;
  if (header_.rootPosition != 0) {
    // Read past the cache: cached nodes may already carry new positions.
    status = Push(header_.rootPosition, header_.height - 1, false);
    if (status != kEngineOk) return status;
    status = CopySubtree(file, header_.rootPosition, progress);
    cache_->ClearStack();
  }
  if (progress != nullptr && !progress->IsAborted() && header_.entryCount == 0) progress->SetPosition(100);
  return status;
}

// Copies the node on top of the path stack and its subtree to the end of
// `file` and stores its new place in `slot` (the parent's child field, or the
// header's root position).
EngineStatus CKeyIndex::CopySubtree(FileHandle file, uint32_t& slot, CIndexProgress* progress) {
  KifNode& node = *cache_->TopNode();
  uint32_t place = 0;
  if (!RawFile().Seek(file, 0, SeekOrigin::kEnd) || !RawFile().Tell(file, place)) return eKifWriteError;
  slot = place;
  node.position = place;
  if (node.level == 0) {
    if (progress != nullptr) progress->SetPosition(progress->GetPosition() + node.count);
  } else {
    // The node's place comes before its descendants'.
    const unsigned char zeros[kMaxBlockSize] = {};
    if (!RawFile().Write(file, zeros, header_.internalBlockSize)) return eKifTempWriteError;
    for (uint32_t i = 0; i <= node.count; ++i) {
      EngineStatus status = Push(node.children[i], node.level - 1, false);
      if (status != kEngineOk) return status;
      status = CopySubtree(file, node.children[i], progress);
      cache_->PopNode();
      if (status != kEngineOk || (progress != nullptr && progress->IsAborted())) return status;
    }
  }
  if (progress != nullptr && progress->IsAborted()) return kEngineOk;
  return WriteNode(file, node);
}

// The temporary file replaces the index file, which is then reopened. While
// the replacement has not happened the old file stays open and unchanged.
EngineStatus CKeyIndex::PutCompactedFileInPlace(IndexTempFile& temp, char* keepName) {
  const ReplaceResult result = ReplaceWithRebuilt(temp, keepName);
  if (result == ReplaceResult::kReplaceFailed) return eKifReplaceFailed;
  // The cache now holds nodes of the new file under their new places.
  freeLists_[0] = freeLists_[1] = FreeListState{true, 0};
  if (result == ReplaceResult::kReopenFailed) return eKifCannotOpen;
  return result == ReplaceResult::kReplaced ? kEngineOk : eKifReadError;
}

void CKeyIndex::RestoreAfterCompact(const KifHeader& header, const FreeListState (&lists)[2]) {
  cache_->ClearStack();
  (void)cache_->FlushNodes(false);
  header_ = header;
  freeLists_[0] = lists[0];
  freeLists_[1] = lists[1];
}

}  // namespace kro
