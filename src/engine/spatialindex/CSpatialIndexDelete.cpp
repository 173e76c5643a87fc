// Deletion: remove one leaf entry, dissolve the nodes that fall below the
// minimum on the way back (their entries are inserted again at their own
// level), and shorten or empty the tree at the root.
#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {

EngineStatus CSpatialIndex::Delete(const BoundingBoxNode& box, uint32_t recordPosition) {
  if (!IsOpen()) return eSifCannotOpen;
  if (IsReadOnly()) return eSifReadOnly;
  if (header_.height == 0) return eSifNotFound;
  // At most one node per level is dissolved.
  dissolved_.clear();
  dissolved_.reserve(sif::kMaxHeight);

  EngineStatus status = kEngineOk;
  {
    const Pin root(FetchNode(header_.rootPosition, header_.height - 1, status));
    if (!root) return status;
    status = DeleteAt(*root, box, recordPosition);
    if (status != kEngineOk) return status;
  }
  status = ReinsertDissolved();
  if (status != kEngineOk) return status;
  return CondenseRoot();
}

EngineStatus CSpatialIndex::DeleteAt(SifNode& node, const BoundingBoxNode& box, uint32_t recordPosition) {
  if (node.IsLeaf()) {
    for (uint32_t slot = 0; slot < node.count; ++slot) {
      if (node.child[slot] != recordPosition) continue;
      node.RemoveEntry(slot);
      if (header_.objectCount > 0) --header_.objectCount;
      return kEngineOk;
    }
    return eSifNotFound;
  }

  for (uint32_t slot = 0; slot < node.count; ++slot) {
    if (!sif::Contains(node.box[slot], box)) continue;
    EngineStatus status = kEngineOk;
    const Pin child(FetchNode(node.child[slot], node.level - 1, status));
    if (!child) return status;
    status = DeleteAt(*child, box, recordPosition);
    if (status == eSifNotFound) continue;
    if (status != kEngineOk) return status;

    if (child->count < header_.minEntries) {
      node.RemoveEntry(slot);
      dissolved_.push_back(*child);
      return FreeNode(*child);
    }
    node.box[slot] = child->UnionBox();
    node.dirty = true;
    return kEngineOk;
  }
  return eSifNotFound;
}

EngineStatus CSpatialIndex::ReinsertDissolved() {
  // Deepest first: leaf entries go back before the entries of higher nodes.
  for (const SifNode& node : dissolved_) {
    for (uint32_t slot = 0; slot < node.count; ++slot) {
      const EngineStatus status = InsertEntry(node.level, node.type[slot], node.box[slot], node.child[slot]);
      if (status != kEngineOk) return status;
    }
  }
  dissolved_.clear();
  return kEngineOk;
}

EngineStatus CSpatialIndex::CondenseRoot() {
  // The root after reinsertion, which may have split since the deletion.
  EngineStatus status = kEngineOk;
  Pin root(FetchNode(header_.rootPosition, header_.height - 1, status));
  if (!root) return status;
  if (root->count == 0) {
    root.Reset(nullptr);
    return EmptyTree();
  }
  if (root->count == 1 && !root->IsLeaf()) {
    const uint32_t onlyChild = root->child[0];
    status = FreeNode(*root);
    if (status != kEngineOk) return status;
    header_.rootPosition = onlyChild;
    --header_.height;
  }
  return kEngineOk;
}

EngineStatus CSpatialIndex::EmptyTree() {
  header_.height = 0;
  header_.rootPosition = 0;
  header_.objectCount = 0;
  header_.freeInternalHead = 0;
  header_.freeLeafHead = 0;
  EndWalks();
  cache_->FlushNodes(false);
  // The blocks past the header are cut off: none of them may be written back.
  DropBlocks();
  SetFileSize(kIndexHeaderSize);
  if (!RawFile().Truncate(Handle(), kIndexHeaderSize)) return eSifWriteError;
  return kEngineOk;
}

}  // namespace kro
