// Deletion: remove the pair where it is (an internal entry is replaced by
// the smallest entry of its right subtree) and repair an underfull child on
// the way back up by borrowing from a sibling or by merging with one.
#include <cstring>

#include "engine/keyindex/CKeyIndex.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::Delete(const char* key, uint32_t recordPosition) {
  if (!IsOpen()) return eKifCannotOpen;
  if (IsReadOnly()) return eKifReadOnly;
  if (changeFailure_ != kEngineOk) return changeFailure_;
  KifKeyField field;
  // A key longer than L bytes can never have been stored.
  if (!MakeKeyField(key, field) || header_.height == 0) return eKifNotFound;
  EndSearch();
  return NoteChange(DeletePair(field, recordPosition));
}

EngineStatus CKeyIndex::DeletePair(const char* field, uint32_t recordPosition) {
  EngineStatus status = kEngineOk;
  Pin root = Fetch(header_.rootPosition, header_.height - 1, status);
  if (!root) return status;
  status = DeleteAt(*root, field, recordPosition, false, nullptr, nullptr);
  if (status != kEngineOk) return status;
  if (header_.entryCount > 0) --header_.entryCount;
  // The tree is empty once its root is a leaf without entries. (A root that
  // was merged away has been freed and no longer holds the root position.)
  if (root->position == header_.rootPosition && root->level == 0 && root->count == 0) {
    header_.rootPosition = 0;
    header_.height = 0;
    header_.entryCount = 0;
    return FreeNode(*root);
  }
  return kEngineOk;
}

// With `takeFirst` the smallest entry of the subtree is removed and handed
// out through `firstKey` and `firstValue` (which may point into an ancestor's
// slot, pinned by the caller).
EngineStatus CKeyIndex::DeleteAt(KifNode& node, const char* key, uint32_t value, bool takeFirst, char* firstKey,
                                 uint32_t* firstValue) {
  uint32_t c = 0;
  if (takeFirst) {
    if (node.level == 0) {
      // A leaf below the root without entries: the file is damaged.
      if (node.count == 0) return eKifReadError;
      std::memcpy(firstKey, node.keys[0], header_.keyLength);
      *firstValue = node.values[0];
      RemoveFromNode(node, 0);
      return kEngineOk;
    }
  } else {
    bool found = false;
    const uint32_t slot = FindInNode(node, key, value, found);
    if (node.level == 0) {
      if (!found) return eKifNotFound;
      RemoveFromNode(node, slot);
      return kEngineOk;
    }
    c = slot;
    if (found) {
      // The in-order successor takes the place of the deleted entry.
      c = slot + 1;
      takeFirst = true;
      firstKey = node.keys[slot];
      firstValue = &node.values[slot];
      node.dirty = true;
    }
  }
  EngineStatus status = kEngineOk;
  Pin child = Fetch(node.children[c], node.level - 1, status);
  if (!child) return status;
  status = DeleteAt(*child, key, value, takeFirst, firstKey, firstValue);
  if (status != kEngineOk || HasMinimum(*child)) return status;
  return FixUnderflow(node, c, *child);
}

// `child` (slot `c` of `parent`) holds fewer than m entries: borrow from a
// sibling with more than m, else merge with one (the left one first).
EngineStatus CKeyIndex::FixUnderflow(KifNode& parent, uint32_t c, KifNode& child) {
  EngineStatus status = kEngineOk;
  Pin left;
  Pin right;
  if (c > 0) {
    left = FetchSibling(parent, c - 1, child, status);
    if (!left) return status;
    if (left->count > header_.minimum) {
      RotateRight(parent, c - 1, *left, child);
      return kEngineOk;
    }
  }
  if (c < parent.count) {
    right = FetchSibling(parent, c + 1, child, status);
    if (!right) return status;
    if (right->count > header_.minimum) {
      RotateLeft(parent, c, child, *right);
      return kEngineOk;
    }
  }
  if (left) return MergeNodes(parent, c - 1, *left, child);
  if (right) return MergeNodes(parent, c, child, *right);
  // A parent without entries has no sibling to offer: the file is damaged.
  return eKifReadError;
}

// `left` takes the parent's entry `s` and every entry of `right`, whose block
// is freed. A root left without entries is freed too and `left` becomes the
// root.
EngineStatus CKeyIndex::MergeNodes(KifNode& parent, uint32_t s, KifNode& left, KifNode& right) {
  const uint32_t leftCount = left.count;
  CopyEntry(left, leftCount, parent, s, header_.keyLength);
  left.children[leftCount + 1] = right.children[0];
  for (uint32_t i = 0; i < right.count; ++i) {
    CopyEntry(left, leftCount + 1 + i, right, i, header_.keyLength);
    left.children[leftCount + 2 + i] = right.children[i + 1];
  }
  left.count = leftCount + 1 + right.count;
  left.dirty = true;
  EngineStatus status = FreeNode(right);
  if (status != kEngineOk) return status;
  const bool parentIsRoot = parent.position == header_.rootPosition;
  RemoveFromNode(parent, s);
  if (parentIsRoot && parent.count == 0) {
    header_.rootPosition = left.position;
    --header_.height;
    status = FreeNode(parent);
  }
  return status;
}

}  // namespace kro
