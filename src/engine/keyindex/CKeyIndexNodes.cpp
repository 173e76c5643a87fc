// Entry order and the operations on node buffers. Every change marks the
// nodes it touches dirty; the cache writes them back.
#include <cstring>

#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifBlock.h"
#include "platform/MultiByte.h"

namespace kro {

using namespace kif;

int CKeyIndex::CompareKeys(const char* a, const char* b) const {
  return MbCompareBounded(a, b, header_.keyLength);
}

int CKeyIndex::CompareEntries(const char* keyA, uint32_t valueA, const char* keyB, uint32_t valueB) const {
  const int keys = CompareKeys(keyA, keyB);
  if (keys != 0) return keys;
  return valueA < valueB ? -1 : (valueA > valueB ? 1 : 0);
}

bool CKeyIndex::MakeKeyField(const char* key, char* field) const {
  const uint32_t keyLength = header_.keyLength;
  if (key == nullptr) key = "";
  if (BoundedLength(key, keyLength + 1) > keyLength) return false;
  MbCopyField(field, key, keyLength);
  return true;
}

bool CKeyIndex::HasMinimum(const KifNode& node) const {
  return node.count >= LeastEntries(node.position == header_.rootPosition, header_.capacity);
}

// A block whose used slots have gaps cannot be taken apart safely: in an
// internal node the children sit between neighbouring entries, so moving the
// entries to the front would give them other children. Such a block is a read
// error (and Compact, which reads every block, refuses instead of writing
// back only the slots in front).
bool CKeyIndex::HasUsedSlotsInFront(const KifNode& node) {
  for (uint32_t slot = 0; slot < node.count; ++slot) {
    if (node.values[slot] == 0) return false;
  }
  return true;
}

// The first slot whose entry is not below (key, value), by binary search
// over the ordered entries; count when every entry is below.
uint32_t CKeyIndex::FindInNode(const KifNode& node, const char* key, uint32_t value, bool& found) const {
  uint32_t low = 0;
  uint32_t high = node.count;
  while (low < high) {
    const uint32_t middle = low + (high - low) / 2;
    if (CompareEntries(node.keys[middle], node.values[middle], key, value) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  found = low < node.count && CompareEntries(node.keys[low], node.values[low], key, value) == 0;
  return low;
}

// May leave capacity + 1 entries; the caller repairs the overflow.
void CKeyIndex::InsertInNode(KifNode& node, uint32_t slot, const char* key, uint32_t value, uint32_t rightChild) {
  // A node already overfull was left so by a failed change, after which no
  // change runs; never write past the buffer.
  if (node.count >= kSlotCount || slot > node.count) return;
  for (uint32_t i = node.count; i > slot; --i) CopyEntry(node, i, node, i - 1, header_.keyLength);
  for (uint32_t i = node.count + 1; i > slot + 1; --i) node.children[i] = node.children[i - 1];
  std::memcpy(node.keys[slot], key, header_.keyLength);
  node.values[slot] = value;
  node.children[slot + 1] = rightChild;
  ++node.count;
  node.dirty = true;
}

// Entry `slot` and child `slot` + 1 disappear.
void CKeyIndex::RemoveFromNode(KifNode& node, uint32_t slot) {
  if (slot >= node.count) return;
  for (uint32_t i = slot + 1; i < node.count; ++i) CopyEntry(node, i - 1, node, i, header_.keyLength);
  for (uint32_t i = slot + 2; i <= node.count; ++i) node.children[i - 1] = node.children[i];
  --node.count;
  ClearEntry(node, node.count, header_.keyLength);
  node.children[node.count + 1] = 0;
  node.dirty = true;
}

// Moves ceiling((right - left) / 2) entries from `right` into its left
// sibling through the parent's entry `s`.
void CKeyIndex::RotateLeft(KifNode& parent, uint32_t s, KifNode& left, KifNode& right) {
  const uint32_t leftCount = left.count;
  const uint32_t rightCount = right.count;
  if (rightCount <= leftCount) return;
  const uint32_t n = (rightCount - leftCount + 1) / 2;
  CopyEntry(left, leftCount, parent, s, header_.keyLength);
  left.children[leftCount + 1] = right.children[0];
  for (uint32_t i = 0; i + 1 < n; ++i) {
    CopyEntry(left, leftCount + 1 + i, right, i, header_.keyLength);
    left.children[leftCount + 2 + i] = right.children[i + 1];
  }
  CopyEntry(parent, s, right, n - 1, header_.keyLength);
  for (uint32_t i = n; i < rightCount; ++i) CopyEntry(right, i - n, right, i, header_.keyLength);
  for (uint32_t i = n; i <= rightCount; ++i) right.children[i - n] = right.children[i];
  for (uint32_t i = rightCount - n; i < rightCount; ++i) {
    ClearEntry(right, i, header_.keyLength);
    right.children[i + 1] = 0;
  }
  left.count = leftCount + n;
  right.count = rightCount - n;
  parent.dirty = left.dirty = right.dirty = true;
}

// Moves ceiling((left - right) / 2) entries from `left` into its right
// sibling through the parent's entry `s`.
void CKeyIndex::RotateRight(KifNode& parent, uint32_t s, KifNode& left, KifNode& right) {
  const uint32_t leftCount = left.count;
  const uint32_t rightCount = right.count;
  if (leftCount <= rightCount) return;
  const uint32_t n = (leftCount - rightCount + 1) / 2;
  for (uint32_t i = rightCount; i-- > 0;) CopyEntry(right, i + n, right, i, header_.keyLength);
  for (uint32_t i = rightCount + 1; i-- > 0;) right.children[i + n] = right.children[i];
  CopyEntry(right, n - 1, parent, s, header_.keyLength);
  right.children[n - 1] = left.children[leftCount];
  const uint32_t first = leftCount - n + 1;  // first entry of `left` that moves whole
  for (uint32_t j = 0; j + 1 < n; ++j) {
    CopyEntry(right, j, left, first + j, header_.keyLength);
    right.children[j] = left.children[first + j];
  }
  CopyEntry(parent, s, left, leftCount - n, header_.keyLength);
  for (uint32_t i = leftCount - n; i < leftCount; ++i) {
    ClearEntry(left, i, header_.keyLength);
    left.children[i + 1] = 0;
  }
  left.count = leftCount - n;
  right.count = rightCount + n;
  parent.dirty = left.dirty = right.dirty = true;
}

// Keeps entries 0 .. h-1 (h = count / 2), promotes entry h and moves the rest
// into a new right sibling.
EngineStatus CKeyIndex::SplitNode(KifNode& node, Promotion& up) {
  EngineStatus status = kEngineOk;
  Pin right(cache_->NewNode(node.level, status));
  if (!right) return status;
  const uint32_t count = node.count;
  const uint32_t h = count / 2;
  std::memcpy(up.key, node.keys[h], header_.keyLength);
  up.value = node.values[h];
  up.rightChild = right->position;
  for (uint32_t i = h + 1; i < count; ++i) CopyEntry(*right, i - h - 1, node, i, header_.keyLength);
  for (uint32_t i = h + 1; i <= count; ++i) right->children[i - h - 1] = node.children[i];
  right->count = count - h - 1;
  for (uint32_t i = h; i < count; ++i) {
    ClearEntry(node, i, header_.keyLength);
    node.children[i + 1] = 0;
  }
  node.count = h;
  node.dirty = right->dirty = true;
  return kNodeSplit;
}

}  // namespace kro
