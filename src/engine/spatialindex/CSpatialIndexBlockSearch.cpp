// Box search over the cached blocks of a read-only index. The walk is the
// one of CSpatialIndexSearch.cpp (depth first, slots in order, batches of
// hits) but reads each slot straight from the block the cache holds: no
// node is decoded whole and none takes a decoded buffer, which is where a
// query spent most of its time. Writable indexes keep the decoded walk,
// because their newest nodes may exist only in decoded buffers.
//
// Invariants: blockPath_[0 .. blockTop_] is the path from the root, each
// step one level below the one before it; no position appears twice on it;
// blockVisits_ counts the nodes entered since BeginSearch and stays within
// VisitBudget().
#include <algorithm>
#include <array>

#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {
namespace {

using BlockBytes = std::array<unsigned char, sif::kMaxBlockSize>;

}  // namespace

EngineStatus CSpatialIndex::StartBlockWalk() {
  EndWalks();
  blockWalk_ = true;
  blockVisits_ = 0;
  if (header_.rootPosition == 0) return kEngineOk;
  blockPath_[0] = BlockStep{header_.rootPosition, header_.height - 1, 0};
  blockTop_ = 0;
  ++blockVisits_;
  // The root is read now, so that a search of a file whose root cannot be
  // read fails at its start, as the decoded walk does.
  BlockBytes scratch;
  const unsigned char* block = nullptr;
  const EngineStatus status = ViewNode(blockPath_[0], scratch.data(), block);
  if (status != kEngineOk) blockTop_ = -1;
  return status;
}

EngineStatus CSpatialIndex::ViewNode(const BlockStep& step, unsigned char* scratch, const unsigned char*& block) {
  const uint32_t size = header_.BlockSize(step.level);
  if (!IsBlockPlace(step.position, size)) return eSifReadError;
  const BlockIo io = ViewBlock(step.position, size, scratch, block);
  return io == BlockIo::kOk ? kEngineOk : eSifReadError;
}

EngineStatus CSpatialIndex::PushBlock(uint32_t position) {
  const uint32_t level = blockPath_[blockTop_].level - 1;
  for (int depth = 0; depth <= blockTop_; ++depth) {
    if (blockPath_[depth].position == position) return eSifReadError;
  }
  if (blockTop_ + 1 >= static_cast<int>(blockPath_.size()) || ++blockVisits_ > VisitBudget()) return eSifReadError;
  blockPath_[++blockTop_] = BlockStep{position, level, 0};
  return kEngineOk;
}

EngineStatus CSpatialIndex::FillBatchFromBlocks() {
  const uint32_t maximum = header_.maxEntries;
  BlockBytes scratch;
  while (blockTop_ >= 0 && BatchHasRoom()) {
    BlockStep& step = blockPath_[blockTop_];
    const unsigned char* block = nullptr;
    EngineStatus status = ViewNode(step, scratch.data(), block);
    if (status == kEngineOk && step.level == 0) {
      if (ExamineLeafBlock(step, block)) --blockTop_;
      continue;
    }
    if (status == kEngineOk && step.slot == 0) {
      status = PrefetchChildren(step, block);
      // The prefetch may have evicted the node's own block.
      if (status == kEngineOk) status = ViewNode(step, scratch.data(), block);
    }
    uint32_t child = 0;
    while (status == kEngineOk && child == 0 && step.slot < maximum) {
      const uint32_t slot = step.slot++;
      const uint32_t field = GetUInt(block + sif::ChildFieldOffset(slot), 32);
      if (field == 0) continue;
      if (sif::Meets(SlotBox(block, slot), searchBox_)) child = field;
    }
    if (status == kEngineOk && child == 0) {
      --blockTop_;
      continue;
    }
    if (status == kEngineOk) status = PushBlock(child);
    if (status != kEngineOk) {
      blockTop_ = -1;
      return status;
    }
  }
  return kEngineOk;
}

// The children of a node that meet the search box are read ahead together:
// in a packed tree they lie side by side, so one read brings them all.
EngineStatus CSpatialIndex::PrefetchChildren(const BlockStep& step, const unsigned char* block) {
  const uint32_t childSize = header_.BlockSize(step.level - 1);
  std::array<uint32_t, sif::kMaxSlots> children;
  uint32_t count = 0;
  for (uint32_t slot = 0; slot < header_.maxEntries && count < children.size(); ++slot) {
    const uint32_t field = GetUInt(block + sif::ChildFieldOffset(slot), 32);
    if (field != 0 && IsBlockPlace(field, childSize) && sif::Meets(SlotBox(block, slot), searchBox_)) {
      children[count++] = field;
    }
  }
  if (count < 2) return kEngineOk;
  std::sort(children.begin(), children.begin() + count);
  return PrefetchBlocks(children.data(), count, childSize) == BlockIo::kOk ? kEngineOk : eSifReadError;
}

bool CSpatialIndex::ExamineLeafBlock(BlockStep& step, const unsigned char* block) {
  const uint32_t maximum = header_.maxEntries;
  const uint32_t coordinateBytes = header_.coordinateBits / 8;
  while (step.slot < maximum) {
    const uint32_t slot = step.slot++;
    const uint32_t field = GetUInt(block + sif::ChildFieldOffset(slot), 32);
    if (field == 0) continue;
    const BoundingBoxNode entry = SlotBox(block, slot);
    const uint32_t type = GetUInt(block + sif::TypeOffset(maximum, coordinateBytes, slot), 16);
    if (!sif::Meets(entry, searchBox_) || !sif::PassesFilter(type, typeFilter_)) continue;
    batch_[batchCount_] = SifHit{field, type, entry};
    order_[batchCount_] = batchCount_;
    if (++batchCount_ == batch_.size() && !BatchHasRoom()) break;
  }
  return step.slot >= maximum;
}

}  // namespace kro
