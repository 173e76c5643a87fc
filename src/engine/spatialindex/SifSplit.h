// The quadratic split of an overfull R-tree node: the M + 1 entries (the
// node's M and the one that did not fit) are dealt into two groups. The seeds
// are the pair that would waste the most area together; then the entry with
// the strongest preference for one group joins it, until one group is large
// enough that the other needs the rest to reach the minimum.
//
// Pure functions on a fixed working list, so the rules can be checked without
// a file and the split allocates nothing.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFSPLIT_H
#define KRO_ENGINE_SPATIALINDEX_SIFSPLIT_H

#include <array>
#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::sif {

struct SplitEntry {
  uint32_t child = 0;
  BoundingBoxNode box{};
  uint32_t type = 0;
};

constexpr uint32_t kMaxSplitEntries = kMaxSlots + 1;
using SplitList = std::array<SplitEntry, kMaxSplitEntries>;

// One group: indexes into the working list in the order they joined.
struct SplitGroup {
  std::array<uint8_t, kMaxSplitEntries> members{};
  uint32_t count = 0;
  BoundingBoxNode box{};
};

struct SeedPair {
  uint32_t first = 0;
  uint32_t second = 1;
};

struct NextPick {
  uint32_t entry = 0;
  int group = 2;  // 1 or 2
};

// The pair i < j of the `n` entries with the greatest waste
// area(union) - area(i) - area(j); the first such pair in (i, j) order wins.
// REQUIRES: n >= 2.
SeedPair PickSeeds(const SplitList& entries, uint32_t n);

// The unassigned entry with the greatest |d1 - d2| (d = growth of a group's
// box), the first one on ties, and the group it joins: the smaller growth,
// then the smaller area, then the smaller count, else group 2.
// REQUIRES: at least one entry is unassigned.
NextPick PickNext(const SplitList& entries, uint32_t n, const SplitGroup& group1, const SplitGroup& group2,
                  const std::array<bool, kMaxSplitEntries>& assigned);

// Deals the `maximum + 1` entries into two groups, neither above `maximum`.
// Group 1 goes to the new sibling and group 2 stays in the split node. When
// minimum <= maximum / 2 both groups reach the minimum; every entry ends in
// one of the two groups whatever the minimum.
void DistributeEntries(const SplitList& entries, uint32_t maximum, uint32_t minimum, SplitGroup& group1,
                       SplitGroup& group2);

}  // namespace kro::sif

#endif
