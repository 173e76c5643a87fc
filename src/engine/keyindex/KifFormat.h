// The bytes of a key index file (".kif"): a 512-byte big-endian header at
// offset 0, then internal and leaf node blocks packed one after another. All
// offsets, sizes and limits of the format live here.
#ifndef KRO_ENGINE_KEYINDEX_KIFFORMAT_H
#define KRO_ENGINE_KEYINDEX_KIFFORMAT_H

#include <cstdint>

#include "engine/indexfile/CIndexFile.h"

namespace kro::kif {

// "AKIF".
constexpr uint32_t kMagic = 0x414B4946u;
// Version written into new files; a reader accepts 0 and 1.
constexpr uint32_t kVersion = 1;

// Header field offsets (u16 fields: version, capacity, key length, height).
constexpr uint32_t kMagicOffset = 0;
constexpr uint32_t kVersionOffset = 4;
constexpr uint32_t kCapacityOffset = 6;
constexpr uint32_t kKeyLengthOffset = 8;
constexpr uint32_t kHeightOffset = 10;
constexpr uint32_t kRootOffset = 12;
constexpr uint32_t kFreeInternalOffset = 16;
constexpr uint32_t kFreeLeafOffset = 20;
constexpr uint32_t kEntryCountOffset = 24;
constexpr uint32_t kDescriptionOffset = 28;
constexpr uint32_t kHeaderSize = kIndexHeaderSize;

// Node capacity M: entries per node. m = M / 2 is the least a non-root node
// holds. A tree of this kind needs M >= 2.
constexpr uint32_t kDefaultCapacity = 20;
constexpr uint32_t kMinCapacity = 2;
constexpr uint32_t kMaxCapacity = 20;
// Key length L: bytes of every stored key field.
constexpr uint32_t kDefaultKeyLength = 32;
constexpr uint32_t kMinKeyLength = 1;
constexpr uint32_t kMaxKeyLength = 256;
// Deepest tree the engine can walk: one path-stack slot per level.
constexpr uint32_t kMaxHeight = 30;

// Node buffers hold one entry more than the largest capacity, so that an
// insertion may overfill a node for a moment before it is repaired.
constexpr uint32_t kSlotCount = kMaxCapacity + 1;
constexpr uint32_t kChildCount = kSlotCount + 1;

// Largest block: an internal block of the largest capacity and key length.
constexpr uint32_t kMaxBlockSize = kMaxCapacity * (kMaxKeyLength + 8) + 4;

// Block sizes: keys, then values (u32), then for internal blocks M + 1
// children (u32).
constexpr uint32_t InternalBlockSize(uint32_t capacity, uint32_t keyLength) {
  return capacity * (keyLength + 8) + 4;
}
constexpr uint32_t LeafBlockSize(uint32_t capacity, uint32_t keyLength) {
  return capacity * (keyLength + 4);
}
// Offsets inside a block.
constexpr uint32_t KeyOffset(uint32_t slot, uint32_t keyLength) { return slot * keyLength; }
constexpr uint32_t ValueOffset(uint32_t slot, uint32_t capacity, uint32_t keyLength) {
  return capacity * keyLength + 4 * slot;
}
constexpr uint32_t ChildOffset(uint32_t child, uint32_t capacity, uint32_t keyLength) {
  return capacity * (keyLength + 4) + 4 * child;
}

}  // namespace kro::kif

#endif
