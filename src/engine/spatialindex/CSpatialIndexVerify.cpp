// Verification of the whole tree and the free lists, and the leaf scan that
// hands out every leaf without a query box.
#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {
EngineStatus CSpatialIndex::Verify(CIndexProgress* progress, SifStatistics& statistics) {
  statistics = SifStatistics{};
  statistics.height = header_.height;
  statistics.internalBlockSize = header_.internalBlockSize;
  statistics.leafBlockSize = header_.leafBlockSize;
  if (!IsOpen()) return eSifCannotOpen;
  EndWalks();
  EngineStatus status = cache_->FlushNodes(true);
  if (status != kEngineOk) return status;
  if (progress != nullptr && header_.objectCount != 0) progress->SetRange(0, header_.objectCount);

  BlockClaims claims(FileSize(), BlockGrain());
  if (header_.rootPosition != 0) {
    const uint32_t rootLevel = header_.height - 1;
    if (!IsValidBlockPosition(header_.rootPosition, header_.BlockSize(rootLevel))) {
      return Fail(eSifBadNodePosition, 0, "the root position is no block place of the file");
    }
    status = PushNode(header_.rootPosition, rootLevel);
    if (status == kEngineOk) status = VerifyNode(progress, cache_->TopNode()->UnionBox(), statistics, claims);
    cache_->ClearStack();
  }
  if (progress != nullptr) {
    if (progress->IsAborted()) return status;
    if (header_.objectCount == 0) progress->SetPosition(100);
  }
  if (status != kEngineOk) return status;
  if (statistics.leafEntries != header_.objectCount) {
    return Fail(eSifCountMismatch, 0, "the header counts other than the entries the tree holds");
  }

  status = WalkFreeList(header_.freeInternalHead, header_.internalBlockSize, statistics.freeInternalBlocks, claims);
  if (status == kEngineOk) {
    status = WalkFreeList(header_.freeLeafHead, header_.leafBlockSize, statistics.freeLeafBlocks, claims);
  }
  if (status != kEngineOk) return status;

  const uint32_t nodes = statistics.internalNodes + statistics.leafNodes;
  statistics.fillRatio = nodes == 0 ? 1.0
                                    : (static_cast<double>(statistics.leafEntries) + nodes - 1) /
                                          (static_cast<double>(nodes) * header_.maxEntries);
  return kEngineOk;
}

EngineStatus CSpatialIndex::VerifyNode(CIndexProgress* progress, const BoundingBoxNode& expected,
                                       SifStatistics& statistics, BlockClaims& claims) {
  SifNode& node = *cache_->TopNode();
  // A node reached twice shows in the counts and boxes; the claim is for
  // the free lists, which must not hold a block of the tree.
  (void)claims.Claim(node.position);
  // A root without entries above an empty tree is refused too: an insertion
  // would find no subtree to descend into.
  const bool isRoot = cache_->Top() == 0;
  if (node.count < sif::LeastEntries(isRoot, header_.minEntries)) {
    return Fail(eSifUnderfullNode, node.position, "a node holds fewer entries than the header's minimum");
  }
  if (node.IsLeaf()) {
    ++statistics.leafNodes;
    statistics.leafEntries += node.count;
    if (progress != nullptr) progress->SetPosition(statistics.leafEntries);
  } else {
    ++statistics.internalNodes;
  }
  // Unions skip NaN, so such a box passes the union check, yet it never meets
  // a search box and never lies inside a delete's box. An inverted box is
  // left to the walk over the set's bytes: Insert takes any box, and every
  // walk of the tree stays well-defined over one.
  for (uint32_t slot = 0; slot < node.count; ++slot) {
    if (sif::CheckBox(node.box[slot]) == sif::BoxFault::kNaN) {
      return Fail(eSifNaNBox, node.position, "an entry's box has a coordinate that is not a number");
    }
  }
  if (!sif::SameBox(node.UnionBox(), expected)) {
    return Fail(eSifBoxMismatch, node.position, "a node's entries do not fill the box its parent gives it");
  }
  if (node.IsLeaf()) return kEngineOk;

  const uint32_t childLevel = node.level - 1;
  for (uint32_t slot = 0; slot < node.count; ++slot) {
    if (!IsValidBlockPosition(node.child[slot], header_.BlockSize(childLevel))) {
      return Fail(eSifBadNodePosition, node.position, "a child position of the node is no block place of the file");
    }
    EngineStatus status = PushNode(node.child[slot], childLevel);
    if (status != kEngineOk) return status;
    status = VerifyNode(progress, node.box[slot], statistics, claims);
    cache_->PopNode();
    if (status != kEngineOk) return status;
    if (Aborted(progress)) return kEngineOk;
  }
  return kEngineOk;
}

EngineStatus CSpatialIndex::BeginLeafScan() {
  const EngineStatus status = StartWalk();
  if (status != kEngineOk) return status;
  leafScanActive_ = true;
  return kEngineOk;
}

EngineStatus CSpatialIndex::GetNextLeaf(uint32_t* recordPositions, uint32_t* objectTypes, BoundingBoxNode* boxes,
                                        uint32_t& entryCount, BoundingBoxNode& unionBox) {
  entryCount = 0;
  if (!leafScanActive_) return eSifNoSearch;
  // Descend to the next leaf that has entries.
  while (batchCount_ == 0 && cache_->Top() >= 0) {
    SifNode& top = *cache_->TopNode();
    if (top.IsLeaf()) {
      for (uint32_t slot = 0; slot < top.count; ++slot) {
        batch_[slot] = SifHit{top.child[slot], top.type[slot], top.box[slot]};
      }
      batchCount_ = top.count;
      cache_->PopNode();
    } else if (top.cursor < top.count) {
      const uint32_t child = top.child[top.cursor++];
      const EngineStatus status = PushNode(child, top.level - 1);
      if (status != kEngineOk) {
        EndWalks();
        return status;
      }
    } else {
      cache_->PopNode();
    }
  }
  if (batchCount_ == 0) {
    leafScanActive_ = false;
    return kEngineEndOfResults;
  }
  unionBox = batch_[0].box;
  for (uint32_t i = 0; i < batchCount_; ++i) {
    recordPositions[i] = batch_[i].recordPosition;
    objectTypes[i] = batch_[i].objectType;
    boxes[i] = batch_[i].box;
    unionBox = sif::Union(unionBox, batch_[i].box);
  }
  entryCount = batchCount_;
  batchCount_ = 0;
  return kEngineOk;
}

}  // namespace kro
