// Splitting a full node: its entries and the one that did not fit are dealt
// into two groups by the quadratic method; a new sibling takes group 1.
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/spatialindex/SifSplit.h"

namespace kro {

SifNode* CSpatialIndex::SplitNode(SifNode& node, uint32_t type, const BoundingBoxNode& box, uint32_t childField,
                                  EngineStatus& status) {
  SifNode* sibling = cache_->NewNode(node.level, status);
  if (sibling == nullptr) return nullptr;

  const uint32_t maximum = header_.maxEntries;
  sif::SplitList entries;
  for (uint32_t i = 0; i < maximum; ++i) entries[i] = sif::SplitEntry{node.child[i], node.box[i], node.type[i]};
  entries[maximum] = sif::SplitEntry{childField, box, type};

  sif::SplitGroup group1;
  sif::SplitGroup group2;
  sif::DistributeEntries(entries, maximum, header_.minEntries, group1, group2);

  for (uint32_t i = 0; i < group1.count; ++i) {
    const sif::SplitEntry& entry = entries[group1.members[i]];
    sibling->AddEntry(entry.child, entry.box, entry.type);
  }
  node.count = 0;
  node.child.fill(0);
  node.box.fill(BoundingBoxNode{});
  node.type.fill(0);
  for (uint32_t i = 0; i < group2.count; ++i) {
    const sif::SplitEntry& entry = entries[group2.members[i]];
    node.AddEntry(entry.child, entry.box, entry.type);
  }
  status = kEngineOk;
  return sibling;
}

}  // namespace kro
