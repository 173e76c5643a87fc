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
  blockPath_[0].Enter(header_.rootPosition, header_.height - 1);
  blockTop_ = 0;
  ++blockVisits_;
  // The root is read now, so that a search of a file whose root cannot be
  // read fails at its start, as the decoded walk does.
  BlockBytes scratch;
  sif::BlockView root;
  const EngineStatus status = ViewNode(blockPath_[0], scratch.data(), root);
  if (status != kEngineOk) blockTop_ = -1;
  return status;
}

EngineStatus CSpatialIndex::ViewNode(const BlockStep& step, unsigned char* scratch, sif::BlockView& view) {
  const uint32_t size = header_.BlockSize(step.level);
  if (!IsBlockPlace(step.position, size)) {
    return Fail(eSifReadError, step.position, "a node position is no block place of the file");
  }
  const unsigned char* block = nullptr;
  if (ViewBlock(step.position, size, scratch, block) != BlockIo::kOk) {
    return Fail(eSifReadError, step.position, "a node cannot be read");
  }
  return BindBlock(block, step.level, view) ? kEngineOk
                                            : Fail(eSifReadError, step.position, "a node's entries do not decode");
}

EngineStatus CSpatialIndex::PushBlock(uint32_t position) {
  const uint32_t level = blockPath_[blockTop_].level - 1;
  for (int depth = 0; depth <= blockTop_; ++depth) {
    if (blockPath_[depth].position == position) {
      return Fail(eSifReadError, position, "the tree leads back to a node above");
    }
  }
  if (blockTop_ + 1 >= static_cast<int>(blockPath_.size()) || ++blockVisits_ > VisitBudget()) {
    return Fail(eSifReadError, position, "the tree is deeper or larger than its header allows");
  }
  blockPath_[++blockTop_].Enter(position, level);
  return kEngineOk;
}

// An inner node's block is looked at once, at the first visit; coming back
// to the node after a child takes the next child from the step alone.
EngineStatus CSpatialIndex::FillBatchFromBlocks() {
  BlockBytes scratch;
  while (blockTop_ >= 0 && BatchHasRoom()) {
    BlockStep& step = blockPath_[blockTop_];
    EngineStatus status = kEngineOk;
    if (step.level == 0 || !step.scanned) {
      sif::BlockView view;
      status = ViewNode(step, scratch.data(), view);
      if (status == kEngineOk && step.level == 0) {
        if (ExamineLeafBlock(step, view)) --blockTop_;
        continue;
      }
      if (status == kEngineOk) status = ScanInnerBlock(step, view);
    }
    if (status == kEngineOk && step.slot == step.childCount) {
      --blockTop_;
      continue;
    }
    if (status == kEngineOk) status = PushBlock(step.children[step.slot++]);
    if (status != kEngineOk) {
      blockTop_ = -1;
      return status;
    }
  }
  return kEngineOk;
}

EngineStatus CSpatialIndex::ScanInnerBlock(BlockStep& step, const sif::BlockView& inner) {
  step.scanned = true;
  step.slot = step.childCount = 0;
  for (uint32_t slot = 0; slot < inner.Slots() && step.childCount < step.children.size(); ++slot) {
    const uint32_t field = inner.Child(slot);
    if (field != 0 && sif::Meets(inner.Box(slot), searchBox_)) step.children[step.childCount++] = field;
  }
  return PrefetchChildren(step);
}

// The children of a node that meet the search box are read ahead together:
// in a packed tree they lie side by side, so one read brings them all. Leaves
// are held for the search instead of cached (the walk's file is read-only).
EngineStatus CSpatialIndex::PrefetchChildren(const BlockStep& step) {
  const uint32_t childSize = header_.BlockSize(step.level - 1);
  std::array<uint32_t, sif::kMaxSlots> children;
  uint32_t count = 0;
  for (uint32_t i = 0; i < step.childCount; ++i) {
    if (IsBlockPlace(step.children[i], childSize)) children[count++] = step.children[i];
  }
  if (step.level == 1) {
    HoldBlocks(children.data(), count, childSize);
    return kEngineOk;
  }
  if (count < 2) return kEngineOk;
  std::sort(children.begin(), children.begin() + count);
  if (PrefetchBlocks(children.data(), count, childSize) == BlockIo::kOk) return kEngineOk;
  return Fail(eSifReadError, step.position, "the children of a node cannot be read");
}

bool CSpatialIndex::ExamineLeafBlock(BlockStep& step, const sif::BlockView& leaf) {
  const uint32_t maximum = leaf.Slots();
  while (step.slot < maximum) {
    const uint32_t slot = step.slot++;
    const uint32_t field = leaf.Child(slot);
    if (field == 0) continue;
    const BoundingBoxNode entry = leaf.Box(slot);
    const uint32_t type = leaf.Type(slot);
    if (!sif::Meets(entry, searchBox_) || !sif::PassesFilter(type, typeFilter_)) continue;
    batch_[batchCount_] = SifHit{field, type, entry};
    order_[batchCount_] = batchCount_;
    if (++batchCount_ == batch_.size() && !BatchHasRoom()) break;
  }
  return step.slot >= maximum;
}

}  // namespace kro
