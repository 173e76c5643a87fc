// One node block of a key index file, as the file holds it: the slot
// decoders every reader of a block goes through (the node reads of the
// engine and the walk over a set's bytes) and the rules its slots keep.
// A view is bound once per block, which checks that the bytes hold the whole
// block of its kind; its getters then read inside it.
#ifndef KRO_ENGINE_KEYINDEX_KIFBLOCK_H
#define KRO_ENGINE_KEYINDEX_KIFBLOCK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBytes.h"
#include "engine/keyindex/KifFormat.h"

namespace kro::kif {

class BlockView {
 public:
  // Binds the `available` bytes at `bytes` as a block of `capacity` slots
  // with key fields of `keyLength` bytes, a leaf block when `leaf`. False
  // when the shape is not one a header may give or the bytes cannot hold
  // the whole block.
  bool Bind(const unsigned char* bytes, size_t available, uint32_t capacity, uint32_t keyLength, bool leaf) {
    if (capacity < kMinCapacity || capacity > kMaxCapacity || keyLength < kMinKeyLength || keyLength > kMaxKeyLength) {
      return false;
    }
    const uint32_t size = leaf ? LeafBlockSize(capacity, keyLength) : InternalBlockSize(capacity, keyLength);
    if (bytes == nullptr || available < size) return false;
    bytes_ = bytes;
    capacity_ = capacity;
    keyLength_ = keyLength;
    leaf_ = leaf;
    return true;
  }

  uint32_t Slots() const { return capacity_; }
  uint32_t KeyFieldLength() const { return keyLength_; }
  bool IsLeaf() const { return leaf_; }

  // REQUIRES for the slot getters: slot < Slots().
  // The key field's L bytes; the key is its bytes before the first zero.
  const char* KeyField(uint32_t slot) const {
    return reinterpret_cast<const char*>(bytes_ + KeyOffset(slot, keyLength_));
  }
  // Bytes of the key stored in the slot: up to the first zero, at most L.
  uint32_t KeyLength(uint32_t slot) const {
    const unsigned char* field = bytes_ + KeyOffset(slot, keyLength_);
    uint32_t length = 0;
    while (length < keyLength_ && field[length] != 0) ++length;
    return length;
  }
  // Whether the bytes of the field after the key's end are all zero, as a
  // writer leaves them.
  bool KeyTailIsZero(uint32_t slot) const {
    const uint32_t length = KeyLength(slot);
    return AreZeroBytes(bytes_ + KeyOffset(slot, keyLength_) + length, keyLength_ - length);
  }
  // Record position of the slot's entry; 0 marks an unused slot.
  uint32_t Value(uint32_t slot) const {
    return CIndexFile::GetUInt(bytes_ + ValueOffset(slot, capacity_, keyLength_), 32);
  }
  // Child `child` of an internal block (REQUIRES: child <= Slots()); 0 in a
  // leaf block, which stores none.
  uint32_t Child(uint32_t child) const {
    return leaf_ ? 0 : CIndexFile::GetUInt(bytes_ + ChildOffset(child, capacity_, keyLength_), 32);
  }
  // Whether an unused slot is all zero: its key field and value.
  bool SlotIsZero(uint32_t slot) const {
    return AreZeroBytes(bytes_ + KeyOffset(slot, keyLength_), keyLength_) && Value(slot) == 0;
  }

 private:
  const unsigned char* bytes_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t keyLength_ = 0;
  bool leaf_ = false;
};

// The writers' side of a block of `capacity` slots with key fields of
// `keyLength` bytes, over a block whose bytes start zero: an entry's key
// field (its `keyBytes` bytes, the rest left zero) and record position, and
// an internal block's child. REQUIRES: slot < capacity, child <= capacity,
// keyBytes <= keyLength.
inline void PutEntry(unsigned char* block, uint32_t capacity, uint32_t keyLength, uint32_t slot, const char* key,
                     size_t keyBytes, uint32_t value) {
  if (keyBytes != 0) std::memcpy(block + KeyOffset(slot, keyLength), key, keyBytes);
  CIndexFile::PutUInt(value, 32, block + ValueOffset(slot, capacity, keyLength));
}
inline void PutChild(unsigned char* block, uint32_t capacity, uint32_t keyLength, uint32_t child, uint32_t position) {
  CIndexFile::PutUInt(position, 32, block + ChildOffset(child, capacity, keyLength));
}

// How a block's slots are used: the entries are the used slots from slot 0
// on, and an internal node with `c` entries has children 0 .. c. What a
// writer never leaves: a used slot after an unused one (the engine refuses
// such a block), an unused slot or a child field past the last child that is
// not zero, a key field with bytes after the key's end.
struct SlotSurvey {
  uint32_t frontEntries = 0;            // used slots before the first unused one
  uint32_t firstGap = kSlotCount;       // first used slot after an unused one
  uint32_t firstDirty = kSlotCount;     // first unused slot that is not all zero
  uint32_t firstDirtyChild = kChildCount;  // first child past the last that is not 0
  uint32_t firstKeyTail = kSlotCount;   // first entry whose key field has bytes after the key
};

inline SlotSurvey SurveySlots(const BlockView& view) {
  SlotSurvey survey;
  bool unusedSeen = false;
  for (uint32_t slot = 0; slot < view.Slots(); ++slot) {
    if (view.Value(slot) == 0) {
      unusedSeen = true;
      if (survey.firstDirty == kSlotCount && !view.SlotIsZero(slot)) survey.firstDirty = slot;
      continue;
    }
    if (!unusedSeen) ++survey.frontEntries;
    if (unusedSeen && survey.firstGap == kSlotCount) survey.firstGap = slot;
    if (survey.firstKeyTail == kSlotCount && !view.KeyTailIsZero(slot)) survey.firstKeyTail = slot;
  }
  if (!view.IsLeaf()) {
    for (uint32_t child = survey.frontEntries + 1; child <= view.Slots(); ++child) {
      if (view.Child(child) != 0) {
        survey.firstDirtyChild = child;
        break;
      }
    }
  }
  return survey;
}

// The least entries a node holds: 1 for the root (an empty tree has no
// root block), m = M / 2 for every other node.
inline uint32_t LeastEntries(bool isRoot, uint32_t capacity) { return isRoot ? 1 : capacity / 2; }

}  // namespace kro::kif

#endif
