// Box search: a depth-first walk on the path stack that fills batches of up
// to 8192 hits, each handed out in record-position order when asked, so the
// data file is read forward within a batch. The walk resumes from the
// cursors of the pinned nodes on the stack when the next batch is needed.
#include <algorithm>
#include <new>

#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {

EngineStatus CSpatialIndex::GetBoundingBox(BoundingBoxNode& box) {
  box = BoundingBoxNode{};
  if (!IsOpen()) return eSifCannotOpen;
  if (header_.rootPosition == 0) return kEngineOk;
  // A walk in progress already holds the root; fetching it again would reset
  // its cursor and restart the walk.
  if (cache_->Top() >= 0 && cache_->StackNode(0)->position == header_.rootPosition) {
    box = cache_->StackNode(0)->UnionBox();
    return kEngineOk;
  }
  EngineStatus status = kEngineOk;
  const Pin root(FetchNode(header_.rootPosition, header_.height - 1, status));
  if (!root) return status;
  box = root->UnionBox();
  return kEngineOk;
}

EngineStatus CSpatialIndex::BeginSearch(const BoundingBoxNode& box, uint32_t typeFilter, bool sortBatches) {
  if (!IsOpen()) return eSifCannotOpen;
  const EngineStatus status = CanWalkBlocks() ? StartBlockWalk() : StartWalk();
  if (status != kEngineOk) return status;
  sortBatches_ = sortBatches;
  searchBox_ = box;
  typeFilter_ = typeFilter;
  searchActive_ = true;
  return kEngineOk;
}

EngineStatus CSpatialIndex::GetNextHit(uint32_t& recordPosition, uint32_t& objectType, BoundingBoxNode& box) {
  recordPosition = 0;
  objectType = 0;
  if (!searchActive_) return eSifNoSearch;
  if (batchCursor_ >= batchCount_) {
    batchCount_ = 0;
    batchCursor_ = 0;
    if (WalkInProgress()) {
      const EngineStatus status = blockWalk_ ? FillBatchFromBlocks() : FillBatch();
      if (status != kEngineOk) {
        EndWalks();
        return status;
      }
    }
    if (batchCount_ > 0 && sortBatches_) SortBatch();
  }
  if (batchCursor_ < batchCount_) {
    const SifHit& hit = batch_[order_[batchCursor_++]];
    recordPosition = hit.recordPosition;
    objectType = hit.objectType;
    box = hit.box;
    return kEngineOk;
  }
  searchActive_ = false;
  return kEngineEndOfResults;
}

uint32_t CSpatialIndex::NearbyHitsEnd(uint32_t from, uint32_t maxGap, uint32_t span) const {
  uint32_t end = from;
  if (!sortBatches_) return end;
  for (uint32_t i = batchCursor_; i < batchCount_; ++i) {
    const uint32_t next = batch_[order_[i]].recordPosition;
    if (next < end || next - end > maxGap || next - from >= span) break;
    end = next;
  }
  return end;
}

EngineStatus CSpatialIndex::FillBatch() {
  while (cache_->Top() >= 0 && BatchHasRoom()) {
    SifNode& node = *cache_->TopNode();
    if (node.IsLeaf()) {
      ExamineLeaf(node);
      continue;
    }
    uint32_t slot = node.cursor;
    while (slot < node.count && !sif::Meets(node.box[slot], searchBox_)) ++slot;
    if (slot >= node.count) {
      cache_->PopNode();
      continue;
    }
    node.cursor = slot + 1;
    const EngineStatus status = PushNode(node.child[slot], node.level - 1);
    if (status != kEngineOk) {
      cache_->ClearStack();
      return status;
    }
  }
  return kEngineOk;
}

void CSpatialIndex::ExamineLeaf(SifNode& leaf) {
  uint32_t slot = leaf.cursor;
  while (slot < leaf.count) {
    const uint32_t current = slot++;
    if (!sif::Meets(leaf.box[current], searchBox_) || !sif::PassesFilter(leaf.type[current], typeFilter_)) continue;
    batch_[batchCount_] = SifHit{leaf.child[current], leaf.type[current], leaf.box[current]};
    order_[batchCount_] = batchCount_;
    if (++batchCount_ == batch_.size() && !BatchHasRoom()) break;
  }
  if (slot < leaf.count) {
    leaf.cursor = slot;
  } else {
    cache_->PopNode();
  }
}

bool CSpatialIndex::BatchHasRoom() {
  if (batchCount_ < batch_.size()) return true;
  if (batch_.size() >= sif::kBatchCapacity) return false;
  const size_t grown = std::min<size_t>(sif::kBatchCapacity, batch_.size() * 2);
  try {
    batch_.resize(grown);
    order_.resize(grown);
  } catch (const std::bad_alloc&) {
    // The search goes on in batches of the size it has (shrinking to the
    // shorter of the two cannot fail).
    batch_.resize(order_.size());
    return false;
  }
  return true;
}

void CSpatialIndex::SortBatch() {
  // Positions are unique in a sound index; the slot order breaks ties so the
  // order is deterministic even when they are not.
  std::sort(order_.begin(), order_.begin() + batchCount_, [this](uint32_t a, uint32_t b) {
    const uint32_t pa = batch_[a].recordPosition;
    const uint32_t pb = batch_[b].recordPosition;
    return pa != pb ? pa < pb : a < b;
  });
}

}  // namespace kro
