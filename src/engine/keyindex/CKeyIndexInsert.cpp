// Insertion: descend to the leaf, insert, and repair an overfull node on the
// way back up by lending entries to an adjacent sibling or by splitting.
// There is no rollback: a read or write failure part-way leaves the cache as
// far as the operation got.
#include "engine/keyindex/CKeyIndex.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::Insert(const char* key, uint32_t recordPosition) {
  if (!IsOpen()) return eKifCannotOpen;
  if (IsReadOnly()) return eKifReadOnly;
  if (changeFailure_ != kEngineOk) return changeFailure_;
  KifKeyField field;
  if (!MakeKeyField(key, field)) return eKifKeyTooLong;
  // 0 marks an unused slot in a block and can never be stored.
  if (recordPosition == 0) return eKifInvalidParameter;
  // A fetch resets the cursors a search keeps its place in.
  EndSearch();
  return NoteChange(InsertPair(field, recordPosition));
}

EngineStatus CKeyIndex::InsertPair(const char* field, uint32_t recordPosition) {
  EngineStatus status = kEngineOk;
  if (header_.height == 0) {
    KifNode* leaf = cache_->NewNode(0, status);
    if (leaf == nullptr) return status;
    header_.height = 1;
    header_.rootPosition = leaf->position;
    header_.entryCount = 1;
    InsertInNode(*leaf, 0, field, recordPosition, 0);
    return kEngineOk;
  }
  Pin root = Fetch(header_.rootPosition, header_.height - 1, status);
  if (!root) return status;
  Promotion up;
  status = InsertAt(nullptr, 0, *root, field, recordPosition, up);
  if (status == kNodeSplit) status = GrowRoot(*root, up);
  if (status == kEngineOk) ++header_.entryCount;
  return status;
}

// The root was split: a new root takes the promoted entry between the old
// root and its new sibling. (The height cannot outgrow the path stack: a
// tree of kMaxHeight levels would not fit in a file of 2 GiB.)
EngineStatus CKeyIndex::GrowRoot(KifNode& oldRoot, const Promotion& up) {
  EngineStatus status = kEngineOk;
  KifNode* root = cache_->NewNode(header_.height, status);
  if (root == nullptr) return status;
  root->children[0] = oldRoot.position;
  InsertInNode(*root, 0, up.key, up.value, up.rightChild);
  ++header_.height;
  header_.rootPosition = root->position;
  return kEngineOk;
}

EngineStatus CKeyIndex::InsertAt(KifNode* parent, uint32_t parentSlot, KifNode& node, const char* key,
                                 uint32_t value, Promotion& up) {
  bool found = false;
  const uint32_t slot = FindInNode(node, key, value, found);
  if (found) return eKifDuplicate;
  if (node.level == 0) {
    InsertInNode(node, slot, key, value, 0);
  } else {
    EngineStatus status = kEngineOk;
    Pin child = Fetch(node.children[slot], node.level - 1, status);
    if (!child) return status;
    status = InsertAt(&node, slot, *child, key, value, up);
    if (status != kNodeSplit) return status;
    InsertInNode(node, slot, up.key, up.value, up.rightChild);
  }
  if (node.count <= header_.capacity) return kEngineOk;
  if (parent != nullptr) {
    bool moved = false;
    const EngineStatus status = Redistribute(*parent, parentSlot, node, moved);
    if (status != kEngineOk || moved) return status;
  }
  return SplitNode(node, up);
}

// An overfull node gives entries to an adjacent sibling with room, the left
// one first; only when neither has room is it split.
EngineStatus CKeyIndex::Redistribute(KifNode& parent, uint32_t slot, KifNode& node, bool& moved) {
  moved = false;
  EngineStatus status = kEngineOk;
  if (slot > 0) {
    Pin left = FetchSibling(parent, slot - 1, node, status);
    if (!left) return status;
    if (left->count < header_.capacity) {
      RotateLeft(parent, slot - 1, *left, node);
      moved = true;
      return kEngineOk;
    }
  }
  if (slot < parent.count) {
    Pin right = FetchSibling(parent, slot + 1, node, status);
    if (!right) return status;
    if (right->count < header_.capacity) {
      RotateRight(parent, slot, node, *right);
      moved = true;
    }
  }
  return kEngineOk;
}

}  // namespace kro
