// Exact-key search. The walk is depth first along the path stack; each
// internal node keeps in its cursor where its walk goes on, so that matches
// can be collected in batches of about kBatchSize positions.
//
// Delivery order: within a node a matching entry comes before the matches of
// the subtree to its left, and the subtree right of the last entry comes
// last. An internal node's cursor is the next entry to look at; cursor ==
// count means that only the last subtree is left, count + 1 that the node is
// finished.
#include "engine/keyindex/CKeyIndex.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::BeginSearch(const char* key) {
  EndSearch();
  if (!IsOpen()) return eKifCannotOpen;
  if (!MakeKeyField(key, searchKey_)) return eKifKeyTooLong;
  if (header_.rootPosition != 0) {
    const EngineStatus status = Push(header_.rootPosition, header_.height - 1, true);
    if (status != kEngineOk) return status;
  }
  searchActive_ = true;
  return kEngineOk;
}

EngineStatus CKeyIndex::GetNextMatch(uint32_t& recordPosition) {
  recordPosition = 0;
  if (!searchActive_) return eKifNoSearch;
  if (resultCursor_ >= resultCount_) {
    resultCount_ = 0;
    resultCursor_ = 0;
    if (cache_->Top() >= 0) {
      const EngineStatus status = FillBatch(0);
      if (status != kEngineOk) {
        EndSearch();
        return status;
      }
    }
  }
  if (resultCursor_ < resultCount_) {
    recordPosition = results_[resultCursor_++];
    return kEngineOk;
  }
  EndSearch();
  return kEngineEndOfResults;
}

// Finishes the deeper nodes of an interrupted walk first, then goes on with
// the node at `depth`. Returns with that node still on the stack when the
// batch is full.
EngineStatus CKeyIndex::FillBatch(int depth) {
  if (depth < cache_->Top()) {
    const EngineStatus status = FillBatch(depth + 1);
    if (status != kEngineOk) return status;
    if (depth < cache_->Top()) return kEngineOk;  // a deeper node waits for the next batch
  }
  KifNode& node = *cache_->StackNode(depth);
  if (node.level == 0) {
    // A leaf is always finished in one go.
    for (uint32_t i = 0; i < node.count; ++i) {
      const int order = CompareKeys(searchKey_, node.keys[i]);
      if (order < 0) break;
      if (order == 0) PushResult(node.values[i]);
    }
    cache_->PopNode();
    return kEngineOk;
  }
  const uint32_t count = node.count;
  while (node.cursor <= count) {
    if (resultCount_ >= kBatchSize) return kEngineOk;
    const uint32_t i = node.cursor;
    uint32_t child = i;
    if (i < count) {
      const int order = CompareKeys(searchKey_, node.keys[i]);
      if (order > 0) {
        // Everything in child i lies below key i and so below the search key.
        ++node.cursor;
        continue;
      }
      if (order == 0) PushResult(node.values[i]);
      // A search key below key i ends the walk of this node after child i.
      node.cursor = order < 0 ? count + 1 : i + 1;
    } else {
      child = count;
      node.cursor = count + 1;
    }
    EngineStatus status = Push(node.children[child], node.level - 1, true);
    if (status == kEngineOk) status = FillBatch(depth + 1);
    if (status != kEngineOk) return status;
    if (depth < cache_->Top()) return kEngineOk;  // the child stopped at the batch limit
  }
  cache_->PopNode();
  return kEngineOk;
}

// The result buffer only grows, by kResultGrowth positions when it is full.
void CKeyIndex::PushResult(uint32_t recordPosition) {
  if (resultCount_ == results_.size()) results_.resize(results_.size() + kResultGrowth, 0);
  results_[resultCount_++] = recordPosition;
}

}  // namespace kro
