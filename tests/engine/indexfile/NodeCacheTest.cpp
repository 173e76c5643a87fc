#include "engine/indexfile/NodeCache.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace kro {
namespace {

struct TestNode : CachedNodeState {
  int payload = 0;
};

// An in-memory store that records block traffic.
class MemoryStore : public NodeStore<TestNode> {
 public:
  EngineStatus ReadNode(uint32_t position, uint32_t level, TestNode& node) override {
    ++reads;
    if (failReads) return 0x80042002u;
    node = TestNode{};
    node.position = position;
    node.level = level;
    node.payload = blocks[position];
    return kEngineOk;
  }
  EngineStatus WriteNodeBack(const TestNode& node) override {
    if (failWrites) return 0x80042003u;
    written.push_back(node.position);
    blocks[node.position] = node.payload;
    return kEngineOk;
  }
  EngineStatus AllocateBlock(uint32_t, TestNode& node) override {
    node.position = next;
    next += 100;
    return kEngineOk;
  }
  uint32_t RootPosition() const override { return root; }
  EngineStatus ReadErrorStatus() const override { return 0x80042002u; }
  uint64_t VisitBudget() const override { return budget; }

  std::map<uint32_t, int> blocks;
  std::vector<uint32_t> written;
  uint32_t root = 512;
  uint32_t next = 512;
  uint64_t budget = 1000;
  int reads = 0;
  bool failReads = false;
  bool failWrites = false;
};

TEST(NodeCache, FetchHitsTheCacheAndTheClockCountsRootFetches) {
  MemoryStore store;
  NodeCache<TestNode> cache(store);
  EngineStatus status;
  TestNode* root = cache.FetchNode(512, 1, status);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(cache.Clock(), 1u);
  root->cursor = 5;
  EXPECT_EQ(cache.FetchNode(612, 0, status)->stamp, 1u);
  EXPECT_EQ(cache.Clock(), 1u) << "only root fetches advance the clock";
  EXPECT_EQ(cache.FetchNode(512, 1, status), root);
  EXPECT_EQ(root->cursor, 0u) << "every fetch resets the cursor";
  EXPECT_EQ(store.reads, 2);
}

TEST(NodeCache, VictimsAreOldestThenLowestLevelAndNeverPinned) {
  MemoryStore store;
  NodeCache<TestNode> cache(store);
  EngineStatus status;
  NodePin<TestNode> pinned(cache.FetchNode(512, 2, status));  // stamp 1
  for (uint32_t i = 1; i < 30; ++i) cache.FetchNode(512 + 100 * i, i % 2, status);
  // All 30 buffers hold stamp 1; the pinned root is not a candidate, and a
  // leaf is chosen before an inner node.
  TestNode* victim = cache.ChooseVictim(status);
  ASSERT_NE(victim, nullptr);
  EXPECT_NE(victim, pinned.get());
  EXPECT_EQ(victim->level, 0u);
  EXPECT_EQ(victim->position, 612u + 100) << "first leaf in cache order";
}

TEST(NodeCache, DirtyVictimsAreWrittenBackAndFailuresReported) {
  MemoryStore store;
  NodeCache<TestNode> cache(store);
  EngineStatus status;
  std::vector<NodePin<TestNode>> pins;
  for (uint32_t i = 0; i < 30; ++i) {
    TestNode* node = cache.NewNode(0, status);
    ASSERT_NE(node, nullptr);
    node->payload = static_cast<int>(i);
    node->dirty = true;
    pins.emplace_back(node);
  }
  EXPECT_EQ(store.written.size(), 0u) << "pinned new nodes each take their own buffer";
  pins.clear();
  store.failWrites = true;
  EXPECT_EQ(cache.FetchNode(99999, 0, status), nullptr);
  EXPECT_EQ(status, 0x80042003u);
  store.failWrites = false;
  ASSERT_NE(cache.FetchNode(99999, 0, status), nullptr);
  EXPECT_EQ(store.written.size(), 1u);
  EXPECT_EQ(cache.FlushNodes(true), kEngineOk);
  EXPECT_EQ(store.written.size(), 30u) << "29 remaining dirty nodes written at flush";
  EXPECT_EQ(cache.Clock(), 0u);
}

TEST(NodeCache, PathStackPinsAndBoundsTheDepth) {
  MemoryStore store;
  NodeCache<TestNode> cache(store);
  for (uint32_t i = 0; i < 30; ++i) ASSERT_EQ(cache.PushNode(512 + 100 * i, 0, true), kEngineOk);
  EXPECT_EQ(cache.Top(), 29);
  EXPECT_EQ(cache.PushNode(99999, 0, true), 0x80042002u) << "a full stack refuses";
  EngineStatus status;
  EXPECT_EQ(cache.ChooseVictim(status), nullptr) << "every buffer is pinned";
  cache.ClearStack();
  EXPECT_EQ(cache.TopNode(), nullptr);
  EXPECT_NE(cache.ChooseVictim(status), nullptr);

  store.failReads = true;
  EXPECT_EQ(cache.PushNode(7777, 0, false), 0x80042002u);
  EXPECT_EQ(cache.Top(), -1) << "nothing is pushed after a failed read";
}

TEST(NodeCache, AnOperationReadsNoMoreNodesThanItsBudget) {
  MemoryStore store;
  store.budget = 3;
  NodeCache<TestNode> cache(store);
  EngineStatus status;
  ASSERT_NE(cache.FetchNode(512, 1, status), nullptr);  // the root starts an operation
  ASSERT_NE(cache.FetchNode(612, 0, status), nullptr);
  ASSERT_EQ(cache.PushNode(612, 0, false), kEngineOk);
  EXPECT_EQ(cache.FetchNode(612, 0, status), nullptr) << "a fourth visit exceeds the budget";
  EXPECT_EQ(status, 0x80042002u);
  EXPECT_EQ(cache.PushNode(712, 0, true), 0x80042002u);
  ASSERT_NE(cache.FetchNode(512, 1, status), nullptr) << "the next root fetch starts a new operation";
  cache.ClearStack();
  cache.FlushNodes(false);
  EXPECT_EQ(cache.PushNode(612, 0, false), kEngineOk) << "a flush starts one too";
}

TEST(NodeCache, ClockWrapsByRenormalisation) {
  MemoryStore store;
  EngineStatus status;
  NodeCache<TestNode> full(store);
  for (uint32_t i = 0; i < 30; ++i) full.FetchNode(1000 + 100 * i, 0, status)->stamp = 0xFFFFFF00u + i;
  full.SetClock(0xFFFFFFFFu);
  full.TouchClock();
  EXPECT_EQ(full.Clock(), 0xFFu + 1) << "the clock drops by the smallest stamp, then advances";
  for (int i = 0; i < 30; ++i) EXPECT_EQ(full.Buffer(i).stamp, static_cast<uint32_t>(i));
}

}  // namespace
}  // namespace kro
