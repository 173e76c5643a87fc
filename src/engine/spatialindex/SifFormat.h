// Byte layout of the spatial index file: the 512-byte header, the two kinds
// of node block and the limits the engine holds a file to. Every offset, size
// and code of the format lives here; nothing else spells them out.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFFORMAT_H
#define KRO_ENGINE_SPATIALINDEX_SIFFORMAT_H

#include <cstddef>
#include <cstdint>

#include "engine/indexfile/CIndexFile.h"

namespace kro::sif {

// The bytes "ASIF".
constexpr uint32_t kMagic = 0x41534946u;
// Version written into new files; a reader refuses anything newer.
constexpr uint32_t kCurrentVersion = 2;

// Header fields (all big-endian), at these offsets of the header.
constexpr size_t kMagicOffset = 0;           // u32
constexpr size_t kReservedOffset = 4;        // u16, written 0, never read
constexpr size_t kVersionOffset = 6;         // u16
constexpr size_t kMinimumOffset = 8;         // u16 least entries of a non-root node
constexpr size_t kMaximumOffset = 10;        // u16 node capacity
constexpr size_t kHeightOffset = 12;         // u16 tree levels, 0 = empty
constexpr size_t kCoordinateBitsOffset = 14; // u16 32 or 64
constexpr size_t kRootOffset = 16;           // u32 root block, 0 = empty
constexpr size_t kFreeInternalOffset = 20;   // u32 head of the free internal blocks
constexpr size_t kFreeLeafOffset = 24;       // u32 head of the free leaf blocks
constexpr size_t kObjectCountOffset = 28;    // u32 leaf entries in the tree
constexpr size_t kDescriptionOffset = 32;    // length-prefixed text, zero padding after

// Settings of a new file.
constexpr uint32_t kDefaultMaxEntries = 20;
constexpr uint32_t kDefaultMinEntries = 10;
constexpr uint32_t kDefaultCoordinateBits = 64;

// Limits the engine holds every header to: slots of an in-memory node, the
// deepest tree its path stack and cache can walk.
constexpr uint32_t kMaxSlots = 50;
constexpr uint32_t kMinMaxEntries = 2;
constexpr uint32_t kMaxHeight = 30;

// Hits buffered by one search batch.
constexpr uint32_t kBatchCapacity = 8192;

// Type filters of a search: which object types a leaf entry may have.
constexpr uint32_t kFilterAll = 0;
constexpr uint32_t kFilterPoints = 1;     // types 0 and 1
constexpr uint32_t kFilterPolylines = 2;  // types 2 and 3
constexpr uint32_t kFilterPolygons = 4;   // types 4 and 5

constexpr bool IsValidCoordinateBits(uint32_t bits) { return bits == 32 || bits == 64; }

// Internal block: M child fields (u32) and M boxes of four coordinates.
constexpr uint32_t InternalBlockSize(uint32_t maxEntries, uint32_t coordinateBits) {
  return 4 * maxEntries * (coordinateBits / 8 + 1);
}
// Leaf block: an internal block followed by M object types (u16).
constexpr uint32_t LeafBlockSize(uint32_t maxEntries, uint32_t coordinateBits) {
  return InternalBlockSize(maxEntries, coordinateBits) + 2 * maxEntries;
}
constexpr uint32_t kMaxBlockSize = LeafBlockSize(kMaxSlots, 64);

// Offsets inside a block with capacity M and B bytes per coordinate.
constexpr uint32_t ChildFieldOffset(uint32_t slot) { return 4 * slot; }
constexpr uint32_t BoxOffset(uint32_t maxEntries, uint32_t coordinateBytes, uint32_t slot) {
  return 4 * maxEntries + 4 * coordinateBytes * slot;
}
constexpr uint32_t TypeOffset(uint32_t maxEntries, uint32_t coordinateBytes, uint32_t slot) {
  return 4 * maxEntries + 4 * coordinateBytes * maxEntries + 2 * slot;
}

static_assert(LeafBlockSize(20, 64) == 760 && InternalBlockSize(20, 64) == 720, "default 64-bit blocks");
static_assert(LeafBlockSize(20, 32) == 440 && InternalBlockSize(20, 32) == 400, "default 32-bit blocks");

}  // namespace kro::sif

#endif
