// The shape of a key index loaded bottom-up, from its entry count alone:
// its height and how many entries each node of each level takes, left to
// right. Nodes are written as they complete, so the loader must know every
// node's size before the first entry arrives.
//
// Level by level from the leaves: X entries (all of them at the leaves)
// either fit in one node, the root, or take the fewest nodes n that can
// hold them, n = ceil((X + 1) / (M + 1)). Between n nodes of a level lie
// n - 1 entries of the levels above, so the level itself keeps X + 1 - n
// and the next level up is built for X = n - 1.
//
// Within a level every node is full (M entries) except the last. When the
// last would fall below m = M / 2, the last two share what is left of the
// level (the earlier one taking the odd entry); the pair then holds at least
// M entries, so both keep m. A level's entries are at least (n - 1) M,
// which the fewest-nodes count guarantees, so nothing else is ever short.
// (All nodes but the last full cannot always be had: 21 entries at M = 20
// need two leaves of 20 entries between them, so neither can be full.)
#ifndef KRO_ENGINE_KEYINDEX_KIFBULKSHAPE_H
#define KRO_ENGINE_KEYINDEX_KIFBULKSHAPE_H

#include <cstdint>

#include "engine/keyindex/KifFormat.h"

namespace kro {

class KifBulkShape {
 public:
  // REQUIRES: kif::kMinCapacity <= capacity <= kif::kMaxCapacity.
  KifBulkShape(uint64_t count, uint32_t capacity);

  // False when the tree would be taller than the engine walks
  // (kif::kMaxHeight); the other answers are then those of an empty tree.
  bool Fits() const { return fits_; }
  // 0 for no entries.
  uint32_t Height() const { return height_; }
  // Nodes of `level` (0: the leaves; REQUIRES: level < Height()).
  uint64_t Nodes(uint32_t level) const { return levels_[level].nodes; }
  // Entries node `index` of `level` takes (REQUIRES: index < Nodes(level)).
  uint32_t NodeEntries(uint32_t level, uint64_t index) const;
  // Bytes of a file holding the tree: the header and every block.
  uint64_t FileBytes(uint32_t leafBlockSize, uint32_t internalBlockSize) const;

 private:
  struct Level {
    uint64_t nodes = 0;
    uint64_t entries = 0;
  };

  uint32_t capacity_;
  uint32_t height_ = 0;
  bool fits_ = true;
  Level levels_[kif::kMaxHeight];
};

}  // namespace kro

#endif
