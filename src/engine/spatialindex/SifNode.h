// The in-memory records of the spatial index: one cached node, the header,
// one search hit and the statistics of a verification.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFNODE_H
#define KRO_ENGINE_SPATIALINDEX_SIFNODE_H

#include <array>
#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/NodeCache.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro {

// One cache buffer. It always has 50 slots whatever the header's capacity;
// the used slots are 0 .. count-1 and every slot beyond them is zero.
struct SifNode : CachedNodeState {
  // Record position (leaf) or child block offset (internal node).
  std::array<uint32_t, sif::kMaxSlots> child{};
  std::array<BoundingBoxNode, sif::kMaxSlots> box{};
  // Object type of a leaf entry; 0 in internal nodes.
  std::array<uint32_t, sif::kMaxSlots> type{};

  bool IsLeaf() const { return level == 0; }

  // REQUIRES: count < kMaxSlots (callers split a node at its capacity first).
  void AddEntry(uint32_t childField, const BoundingBoxNode& entryBox, uint32_t objectType) {
    child[count] = childField;
    box[count] = entryBox;
    type[count] = objectType;
    ++count;
    dirty = true;
  }

  // Later slots move down by one; the freed last slot is zeroed.
  void RemoveEntry(uint32_t slot) {
    for (uint32_t i = slot; i + 1 < count; ++i) {
      child[i] = child[i + 1];
      box[i] = box[i + 1];
      type[i] = type[i + 1];
    }
    --count;
    child[count] = 0;
    box[count] = BoundingBoxNode{};
    type[count] = 0;
    dirty = true;
  }

  // Union of the used slots' boxes, starting from slot 0's box.
  BoundingBoxNode UnionBox() const {
    BoundingBoxNode result = box[0];
    for (uint32_t i = 1; i < count; ++i) result = sif::Union(result, box[i]);
    return result;
  }
};

struct SifHeader {
  uint32_t version = sif::kCurrentVersion;
  uint32_t maxEntries = sif::kDefaultMaxEntries;
  uint32_t minEntries = sif::kDefaultMinEntries;
  uint32_t height = 0;
  uint32_t coordinateBits = sif::kDefaultCoordinateBits;
  uint32_t rootPosition = 0;
  uint32_t freeInternalHead = 0;
  uint32_t freeLeafHead = 0;
  uint32_t objectCount = 0;
  char description[kMaxIndexDescription + 1] = {};
  // Derived, never stored; kept in step by ComputeBlockSizes.
  uint32_t internalBlockSize = sif::InternalBlockSize(sif::kDefaultMaxEntries, sif::kDefaultCoordinateBits);
  uint32_t leafBlockSize = sif::LeafBlockSize(sif::kDefaultMaxEntries, sif::kDefaultCoordinateBits);
  // Every block place is a multiple of this past the header.
  uint32_t blockGrain = CIndexFile::GreatestCommonDivisor(internalBlockSize, leafBlockSize);

  void ComputeBlockSizes() {
    internalBlockSize = sif::InternalBlockSize(maxEntries, coordinateBits);
    leafBlockSize = sif::LeafBlockSize(maxEntries, coordinateBits);
    blockGrain = CIndexFile::GreatestCommonDivisor(internalBlockSize, leafBlockSize);
  }
  uint32_t BlockSize(uint32_t level) const { return level == 0 ? leafBlockSize : internalBlockSize; }
};

struct SifHit {
  uint32_t recordPosition = 0;
  uint32_t objectType = 0;
  BoundingBoxNode box{};
};

struct SifStatistics {
  // (leaf entries + internal entries) / (nodes x M); 1.0 without nodes.
  double fillRatio = 0;
  uint32_t height = 0;
  uint32_t internalNodes = 0;
  uint32_t leafNodes = 0;
  uint32_t leafEntries = 0;
  uint32_t freeInternalBlocks = 0;
  uint32_t freeLeafBlocks = 0;
  uint32_t internalBlockSize = 0;
  uint32_t leafBlockSize = 0;
};

}  // namespace kro

#endif
