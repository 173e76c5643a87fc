// One node block of a spatial index file, as the file holds it: the slot
// decoders every reader of a block goes through (the decoded node reads, the
// box search over cached blocks, Verify and the walk over a set's bytes), the
// slot encoder of every writer, and the rules a block's slots keep.
//
// A view is bound once per block, which checks that the bytes hold the whole
// block of its kind; its slot getters then read inside it without further
// checks. They are inline: the box search calls them for every slot it looks
// at, straight on the bytes the block cache holds.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFBLOCK_H
#define KRO_ENGINE_SPATIALINDEX_SIFBLOCK_H

#include <cstddef>
#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBytes.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::sif {

class BlockView {
 public:
  // Binds the `available` bytes at `bytes` as a block of `maxEntries` slots
  // and `coordinateBits` coordinates, a leaf block when `leaf`. False when
  // the bytes cannot hold the whole block or the shape is not one a header
  // may give (the view is then unusable).
  bool Bind(const unsigned char* bytes, size_t available, uint32_t maxEntries, uint32_t coordinateBits, bool leaf) {
    if (maxEntries == 0 || maxEntries > kMaxSlots || !IsValidCoordinateBits(coordinateBits)) return false;
    const uint32_t size = leaf ? LeafBlockSize(maxEntries, coordinateBits) : InternalBlockSize(maxEntries, coordinateBits);
    if (bytes == nullptr || available < size) return false;
    bytes_ = bytes;
    size_ = size;
    maxEntries_ = maxEntries;
    coordinateBytes_ = coordinateBits / 8;
    bits_ = static_cast<int>(coordinateBits);
    leaf_ = leaf;
    return true;
  }

  uint32_t Slots() const { return maxEntries_; }
  bool IsLeaf() const { return leaf_; }
  uint32_t CoordinateBytes() const { return coordinateBytes_; }
  uint32_t Size() const { return size_; }

  // REQUIRES for the slot getters: slot < Slots().
  // Record position (leaf) or child block (internal node); 0 when unused.
  uint32_t Child(uint32_t slot) const { return CIndexFile::GetUInt(bytes_ + ChildFieldOffset(slot), 32); }
  BoundingBoxNode Box(uint32_t slot) const {
    const unsigned char* box = bytes_ + BoxOffset(maxEntries_, coordinateBytes_, slot);
    return BoundingBoxNode{CIndexFile::GetReal(box, bits_), CIndexFile::GetReal(box + coordinateBytes_, bits_),
                           CIndexFile::GetReal(box + 2 * coordinateBytes_, bits_),
                           CIndexFile::GetReal(box + 3 * coordinateBytes_, bits_)};
  }
  // Object type of a leaf slot; 0 in an internal block, which stores none.
  uint32_t Type(uint32_t slot) const {
    return leaf_ ? CIndexFile::GetUInt(bytes_ + TypeOffset(maxEntries_, coordinateBytes_, slot), 16) : 0;
  }
  // Whether the slot's child field, box and (leaf) type are all zero bytes.
  bool SlotIsZero(uint32_t slot) const {
    return AreZeroBytes(bytes_ + ChildFieldOffset(slot), 4) &&
           AreZeroBytes(bytes_ + BoxOffset(maxEntries_, coordinateBytes_, slot), 4 * coordinateBytes_) &&
           (!leaf_ || AreZeroBytes(bytes_ + TypeOffset(maxEntries_, coordinateBytes_, slot), 2));
  }

 private:
  const unsigned char* bytes_ = nullptr;
  uint32_t size_ = 0;
  uint32_t maxEntries_ = 0;
  uint32_t coordinateBytes_ = 0;
  int bits_ = 0;
  bool leaf_ = false;
};

// Writes one slot of a block of `maxEntries` slots. A 32-bit block rounds
// each coordinate to the nearest single. REQUIRES: slot < maxEntries, the
// block holds its whole size.
inline void EncodeSlot(unsigned char* block, uint32_t maxEntries, uint32_t coordinateBits, bool leaf, uint32_t slot,
                       uint32_t childField, const BoundingBoxNode& box, uint32_t objectType) {
  const uint32_t coordinateBytes = coordinateBits / 8;
  const int bits = static_cast<int>(coordinateBits);
  CIndexFile::PutUInt(childField, 32, block + ChildFieldOffset(slot));
  unsigned char* at = block + BoxOffset(maxEntries, coordinateBytes, slot);
  CIndexFile::PutReal(box.xMin, bits, at);
  CIndexFile::PutReal(box.yMin, bits, at + coordinateBytes);
  CIndexFile::PutReal(box.xMax, bits, at + 2 * coordinateBytes);
  CIndexFile::PutReal(box.yMax, bits, at + 3 * coordinateBytes);
  if (leaf) CIndexFile::PutUInt(objectType, 16, block + TypeOffset(maxEntries, coordinateBytes, slot));
}

// How a block's slots are used: the entries are the used slots from slot 0
// on; a used slot after an unused one, and an unused slot with a byte that is
// not zero, are what a writer of this format never leaves.
struct SlotSurvey {
  uint32_t frontEntries = 0;        // used slots before the first unused one
  uint32_t usedSlots = 0;           // used slots anywhere
  uint32_t firstGap = kMaxSlots;    // first used slot after an unused one
  uint32_t firstDirty = kMaxSlots;  // first unused slot that is not all zero
};

inline SlotSurvey SurveySlots(const BlockView& view) {
  SlotSurvey survey;
  for (uint32_t slot = 0; slot < view.Slots(); ++slot) {
    if (view.Child(slot) == 0) {
      if (survey.firstDirty == kMaxSlots && !view.SlotIsZero(slot)) survey.firstDirty = slot;
      continue;
    }
    if (survey.usedSlots == slot) ++survey.frontEntries;
    if (survey.usedSlots != slot && survey.firstGap == kMaxSlots) survey.firstGap = slot;
    ++survey.usedSlots;
  }
  return survey;
}

// What may be wrong with one entry's box.
enum class BoxFault { kNone, kNaN, kInverted };

// A NaN coordinate never meets a search box nor lies inside a delete's box,
// so such an entry cannot be found; a minimum above its maximum is no box
// any object has (vertices give xMin <= xMax, yMin <= yMax).
inline BoxFault CheckBox(const BoundingBoxNode& box) {
  if (HasNaN(box)) return BoxFault::kNaN;
  if (box.xMin > box.xMax || box.yMin > box.yMax) return BoxFault::kInverted;
  return BoxFault::kNone;
}

// The least entries a node holds: 1 for the root of a tree that has one
// (an empty tree has no root block at all), `minEntries` for every other.
inline uint32_t LeastEntries(bool isRoot, uint32_t minEntries) { return isRoot ? 1 : minEntries; }

}  // namespace kro::sif

#endif
