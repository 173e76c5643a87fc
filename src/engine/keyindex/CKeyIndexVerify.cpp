// Verification: a depth-first walk through the cache that checks every
// invariant of the tree and of the free lists, reporting the first
// violation. It changes nothing itself (the cache may write back dirty
// buffers it evicts).
#include <cstring>

#include "engine/keyindex/CKeyIndex.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::Verify(CIndexProgress* progress, KifStatistics& statistics) {
  statistics = KifStatistics{};
  statistics.height = header_.height;
  statistics.internalBlockSize = header_.internalBlockSize;
  statistics.leafBlockSize = header_.leafBlockSize;
  if (!IsOpen()) return eKifCannotOpen;
  if (progress != nullptr && header_.entryCount != 0) progress->SetRange(0, header_.entryCount);
  EndSearch();

  EngineStatus status = kEngineOk;
  BlockClaims claims(FileSize(), BlockGrain());
  if (header_.rootPosition != 0) {
    const uint32_t level = header_.height - 1;
    if (!IsValidPosition(header_.rootPosition, header_.BlockSize(level))) {
      return Fail(eKifBadNodePosition, 0, "the root position is no block place of the file");
    }
    status = Push(header_.rootPosition, level, true);
    if (status != kEngineOk) return status;
    KifKeyField highest;
    std::memset(highest, 0xFF, sizeof highest);
    status = VerifyNode(progress, Bound{"", 0, true}, Bound{highest, 0xFFFFFFFFu, true}, statistics, claims);
    cache_->ClearStack();
  }
  if (progress != nullptr) {
    if (progress->IsAborted()) return status;
    if (header_.entryCount == 0) progress->SetPosition(100);
  }
  if (status != kEngineOk) return status;
  if (statistics.entries != header_.entryCount) {
    return Fail(eKifCountMismatch, 0, "the header counts other than the entries the tree holds");
  }
  status = CountFreeBlocks(header_.freeInternal, header_.internalBlockSize, statistics.freeInternalBlocks, claims);
  if (status != kEngineOk) return status;
  status = CountFreeBlocks(header_.freeLeaf, header_.leafBlockSize, statistics.freeLeafBlocks, claims);
  if (status != kEngineOk) return status;
  const uint32_t nodes = statistics.internalNodes + statistics.leafNodes;
  if (nodes != 0) statistics.fillRatio = double(statistics.entries) / (double(nodes) * header_.capacity);
  return kEngineOk;
}

// Checks the node on top of the path stack and its subtree; every entry must
// lie between `low` and `high`.
EngineStatus CKeyIndex::VerifyNode(CIndexProgress* progress, Bound low, Bound high, KifStatistics& statistics,
                                   BlockClaims& claims) {
  const KifNode& node = *cache_->TopNode();
  // A node reached twice shows in the order and the counts; the claim is for
  // the free lists, which must not hold a block of the tree.
  (void)claims.Claim(node.position);
  if (!HasMinimum(node)) {
    return Fail(eKifUnderfullNode, node.position, "a node holds fewer entries than a tree of its capacity allows");
  }
  statistics.entries += node.count;
  if (progress != nullptr) progress->SetPosition(statistics.entries);
  ++(node.level == 0 ? statistics.leafNodes : statistics.internalNodes);
  EngineStatus status = CheckOrder(node, low, high);
  if (status != kEngineOk || node.level == 0) return status;

  const uint32_t childLevel = node.level - 1;
  for (uint32_t i = 0; i <= node.count; ++i) {
    const uint32_t position = node.children[i];
    if (!IsValidPosition(position, header_.BlockSize(childLevel))) {
      return Fail(eKifBadNodePosition, node.position, "a child position of the node is no block place of the file");
    }
    status = Push(position, childLevel, true);
    if (status != kEngineOk) return status;
    const Bound childLow = i == 0 ? low : Bound{node.keys[i - 1], node.values[i - 1], false};
    const Bound childHigh = i == node.count ? high : Bound{node.keys[i], node.values[i], false};
    status = VerifyNode(progress, childLow, childHigh, statistics, claims);
    cache_->PopNode();
    if (status != kEngineOk) return status;
    if (i < node.count && progress != nullptr && progress->IsAborted()) return kEngineOk;
  }
  return kEngineOk;
}

// Entries must rise strictly, from `low` to `high`: a pair that occurs twice
// is a violation too. Only the outermost bounds may be equalled.
EngineStatus CKeyIndex::CheckOrder(const KifNode& node, Bound low, Bound high) const {
  const auto outOfOrder = [](int order, bool mayEqual) { return mayEqual ? order > 0 : order >= 0; };
  if (node.count == 0) return kEngineOk;
  if (outOfOrder(CompareEntries(low.key, low.value, node.keys[0], node.values[0]), low.inclusive)) {
    return Fail(eKifBadKeyOrder, node.position, "the node's keys are out of order");
  }
  for (uint32_t i = 0; i + 1 < node.count; ++i) {
    if (outOfOrder(CompareEntries(node.keys[i], node.values[i], node.keys[i + 1], node.values[i + 1]), false)) {
      return Fail(eKifBadKeyOrder, node.position, "the node's keys are out of order");
    }
  }
  const uint32_t last = node.count - 1;
  if (outOfOrder(CompareEntries(node.keys[last], node.values[last], high.key, high.value), high.inclusive)) {
    return Fail(eKifBadKeyOrder, node.position, "the node's keys are out of order");
  }
  return kEngineOk;
}

}  // namespace kro
