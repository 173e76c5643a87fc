// Insertion: descend along the least enlargement, split full nodes, refresh
// the boxes on the way back and grow the tree at the root.
#include <cmath>
#include <limits>

#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {
namespace {

// What a 32-bit index will read back for `box`.
BoundingBoxNode RoundedToSingles(const BoundingBoxNode& box) {
  return BoundingBoxNode{static_cast<float>(box.xMin), static_cast<float>(box.yMin), static_cast<float>(box.xMax),
                         static_cast<float>(box.yMax)};
}

}  // namespace

EngineStatus CSpatialIndex::Insert(uint32_t objectType, const BoundingBoxNode& box, uint32_t recordPosition) {
  if (!IsOpen()) return eSifCannotOpen;
  if (IsReadOnly()) return eSifReadOnly;
  if (recordPosition == 0) return eSifInvalidParameter;
  const BoundingBoxNode stored = header_.coordinateBits == 32 ? RoundedToSingles(box) : box;
  const EngineStatus status = InsertEntry(0, objectType, stored, recordPosition);
  if (status == kEngineOk) ++header_.objectCount;
  return status;
}

EngineStatus CSpatialIndex::InsertEntry(uint32_t targetLevel, uint32_t type, const BoundingBoxNode& box,
                                        uint32_t childField) {
  if (IsReadOnly()) return eSifReadOnly;
  EngineStatus status = kEngineOk;
  Pin root;
  if (header_.height != 0) {
    root.Reset(FetchNode(header_.rootPosition, header_.height - 1, status));
    if (!root) return status;
  } else {
    // The header takes the new root only once its block exists, so a failed
    // first insertion leaves a consistent empty tree.
    root.Reset(cache_->NewNode(0, status));
    if (!root) return status;
    header_.rootPosition = root->position;
    header_.height = 1;
  }
  if (targetLevel > root->level) return eSifInvalidParameter;
  status = CheckRoomToSplit(targetLevel, box);
  if (status != kEngineOk) return status;

  SifNode* sibling = InsertAt(*root, targetLevel, type, box, childField, status);
  if (status != kEngineOk) return status;
  if (sibling == nullptr) return kEngineOk;

  // The root split: the tree grows by one level. The sibling is not pinned,
  // so its position and box are taken before the next buffer is requested.
  const uint32_t siblingPosition = sibling->position;
  const BoundingBoxNode siblingBox = sibling->UnionBox();
  const uint32_t oldRootPosition = root->position;
  const BoundingBoxNode oldRootBox = root->UnionBox();
  Pin newRoot(cache_->NewNode(header_.height, status));
  if (!newRoot) return status;
  newRoot->AddEntry(oldRootPosition, oldRootBox, 0);
  newRoot->AddEntry(siblingPosition, siblingBox, 0);
  header_.rootPosition = newRoot->position;
  ++header_.height;
  return kEngineOk;
}

SifNode* CSpatialIndex::InsertAt(SifNode& node, uint32_t targetLevel, uint32_t type, const BoundingBoxNode& box,
                                 uint32_t childField, EngineStatus& status) {
  status = kEngineOk;
  if (node.level == targetLevel) {
    if (node.count < header_.maxEntries) {
      node.AddEntry(childField, box, type);
      return nullptr;
    }
    return SplitNode(node, type, box, childField, status);
  }

  const uint32_t slot = ChooseSubtree(node, box);
  Pin child(FetchNode(node.child[slot], node.level - 1, status));
  if (!child) return nullptr;
  SifNode* split = InsertAt(*child, targetLevel, type, box, childField, status);
  if (status != kEngineOk) return nullptr;

  if (split == nullptr) {
    node.box[slot] = sif::Union(node.box[slot], box);
    node.dirty = true;
    return nullptr;
  }
  node.box[slot] = child->UnionBox();
  node.dirty = true;
  const uint32_t splitPosition = split->position;
  const BoundingBoxNode splitBox = split->UnionBox();
  if (node.count < header_.maxEntries) {
    node.AddEntry(splitPosition, splitBox, 0);
    return nullptr;
  }
  return SplitNode(node, 0, splitBox, splitPosition, status);
}

// A tree at the height limit cannot split: with its whole path pinned the
// cache has no buffer left for a new node, and a new root would pass the
// height a header may hold. A dry descent along the insertion path finds
// out before anything changes.
EngineStatus CSpatialIndex::CheckRoomToSplit(uint32_t targetLevel, const BoundingBoxNode& box) {
  if (header_.height < sif::kMaxHeight) return kEngineOk;
  EngineStatus status = kEngineOk;
  uint32_t position = header_.rootPosition;
  for (uint32_t level = header_.height - 1;; --level) {
    Pin node(FetchNode(position, level, status));
    if (!node) return status;
    if (level <= targetLevel) {
      return node->count < header_.maxEntries
                 ? kEngineOk
                 : Fail(eSifHeightLimit, position, "the tree is at its height limit and the entry would need a split");
    }
    position = node->child[ChooseSubtree(*node, box)];
  }
}

uint32_t CSpatialIndex::ChooseSubtree(const SifNode& node, const BoundingBoxNode& box) const {
  uint32_t chosen = 0;
  double bestEnlargement = std::numeric_limits<double>::infinity();
  double bestArea = std::numeric_limits<double>::infinity();
  for (uint32_t slot = 0; slot < node.count; ++slot) {
    const double area = sif::Area(sif::Union(node.box[slot], box));
    const double enlargement = area - sif::Area(node.box[slot]);
    if (enlargement < bestEnlargement || (enlargement == bestEnlargement && area < bestArea)) {
      chosen = slot;
      bestEnlargement = enlargement;
      bestArea = area;
    }
  }
  return chosen;
}

}  // namespace kro
