// The node cache and path stack shared by both index engines.
//
// Invariants:
//  1. The cache holds kCacheSize buffers; a buffer whose position is 0 holds
//     no node. A buffer is allocated when it is first chosen: until then it
//     stands for an empty, zeroed buffer (stamp 0, level 0), so the choice of
//     victims is the same as if all were there from the start, and a pass
//     that touches a few nodes allocates only those.
//  2. A buffer with a positive pin count is never chosen as a victim; every
//     handle on the path stack holds one pin.
//  3. The recency clock advances only when the root is fetched, so it counts
//     operations that start at the root and all nodes touched by one
//     operation carry the same stamp. Eviction takes the smallest stamp, then
//     the lowest level, then the first buffer in cache order.
//  4. A dirty buffer is written back before its buffer is reused.
//  5. One operation (counted from its root fetch, or from a flush) reads at
//     most the store's visit budget of nodes. A sound tree never comes near
//     it; a damaged file whose nodes share children would otherwise make a
//     walk run for ever.
#ifndef KRO_ENGINE_INDEXFILE_NODECACHE_H
#define KRO_ENGINE_INDEXFILE_NODECACHE_H

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "engine/EngineStatus.h"
#include "engine/indexfile/NodePin.h"

namespace kro {

// Bookkeeping fields every cached node carries; the node types of the two
// indexes derive from it and add their slots.
struct CachedNodeState {
  uint32_t position = 0;
  int32_t pinCount = 0;
  uint32_t stamp = 0;
  uint32_t cursor = 0;
  uint32_t level = 0;
  bool dirty = false;
  uint32_t count = 0;
};

// What the cache needs from its index: block reads and writes of the index's
// own file, block allocation and the current root position.
template <typename Node>
class NodeStore {
 public:
  virtual ~NodeStore() = default;
  // Fills `node` from the block at `position`; sets position and level and
  // clears pin count, stamp, cursor and dirty flag.
  virtual EngineStatus ReadNode(uint32_t position, uint32_t level, Node& node) = 0;
  // Writes `node` into its block of the index's own file.
  virtual EngineStatus WriteNodeBack(const Node& node) = 0;
  // Gives `node` the position of a block of the kind its level needs.
  virtual EngineStatus AllocateBlock(uint32_t level, Node& node) = 0;
  virtual uint32_t RootPosition() const = 0;
  // The index's read error word, reported when no buffer can be had or the
  // path stack is full (both need a tree deeper than the stack, which a
  // header check refuses).
  virtual EngineStatus ReadErrorStatus() const = 0;
  // How many node visits one operation may make: a bound derived from the
  // number of block places in the file, with room for the siblings and
  // parents that insertion and deletion touch more than once.
  virtual uint64_t VisitBudget() const = 0;
};

template <typename Node>
class NodeCache {
 public:
  static constexpr int kCacheSize = 30;
  static constexpr int kStackSize = 30;

  explicit NodeCache(NodeStore<Node>& store) : store_(store) {}
  NodeCache(const NodeCache&) = delete;
  NodeCache& operator=(const NodeCache&) = delete;
  // Handles on the stack pin buffers of this cache, so they go first.
  ~NodeCache() { ClearStack(); }

  uint32_t Clock() const { return clock_; }
  // Lets tests reach the wrap of the clock without 2^32 operations.
  void SetClock(uint32_t value) { clock_ = value; }
  // REQUIRES: the buffer was chosen once (tests look at what they filled).
  Node& Buffer(int index) { return *buffers_[index]; }

  void TouchClock() {
    if (clock_ == std::numeric_limits<uint32_t>::max()) {
      // A buffer not yet allocated has stamp 0, the smallest there is.
      uint32_t smallest = clock_;
      for (const auto& node : buffers_) smallest = node == nullptr ? 0 : node->stamp < smallest ? node->stamp : smallest;
      for (auto& node : buffers_) {
        if (node != nullptr) node->stamp -= smallest;
      }
      clock_ -= smallest;
    }
    ++clock_;
    visits_ = 0;
  }

  Node* ChooseVictim(EngineStatus& status) {
    int victim = -1;
    for (int i = 0; i < kCacheSize; ++i) {
      if (PinCount(i) > 0) continue;
      if (victim < 0 || Stamp(i) < Stamp(victim) || (Stamp(i) == Stamp(victim) && Level(i) < Level(victim))) {
        victim = i;
      }
    }
    if (victim < 0) {
      // Every buffer pinned: only a tree deeper than the path stack gets here.
      status = store_.ReadErrorStatus();
      return nullptr;
    }
    if (buffers_[victim] == nullptr) {
      buffers_[victim].reset(new (std::nothrow) Node());
      // Without memory for one more buffer no operation can go on.
      status = buffers_[victim] == nullptr ? store_.ReadErrorStatus() : kEngineOk;
      return buffers_[victim].get();
    }
    Node* node = buffers_[victim].get();
    if (node->dirty) {
      status = store_.WriteNodeBack(*node);
      if (status != kEngineOk) return nullptr;
      node->dirty = false;
    }
    status = kEngineOk;
    return node;
  }

  Node* FetchNode(uint32_t position, uint32_t level, EngineStatus& status) {
    if (position == store_.RootPosition()) TouchClock();
    if (!CountVisit(status)) return nullptr;
    for (auto& node : buffers_) {
      if (node != nullptr && node->position == position && position != 0) {
        node->stamp = clock_;
        node->cursor = 0;
        status = kEngineOk;
        return node.get();
      }
    }
    Node* buffer = ChooseVictim(status);
    if (buffer == nullptr) return nullptr;
    status = ReadInto(*buffer, position, level);
    return status == kEngineOk ? buffer : nullptr;
  }

  Node* NewNode(uint32_t level, EngineStatus& status) {
    Node* buffer = ChooseVictim(status);
    if (buffer == nullptr) return nullptr;
    *buffer = Node{};
    status = store_.AllocateBlock(level, *buffer);
    if (status != kEngineOk) {
      *buffer = Node{};
      return nullptr;
    }
    buffer->level = level;
    buffer->stamp = clock_;
    return buffer;
  }

  // Writes back (when asked) and empties every buffer. Stops at the first
  // failed write, leaving that buffer and the later ones as they were. The
  // clock restarts at 0 in every case.
  EngineStatus FlushNodes(bool writeBack) {
    EngineStatus status = kEngineOk;
    for (auto& node : buffers_) {
      if (node == nullptr) continue;
      if (writeBack && node->dirty) {
        status = store_.WriteNodeBack(*node);
        if (status != kEngineOk) break;
      }
      Forget(*node);
    }
    clock_ = 0;
    visits_ = 0;
    return status;
  }

  // Pins a node on top of the path stack. Without `fromCache` the block is
  // read into a victim buffer without looking in the cache (rebuilds read
  // blocks whose cached copies may already carry new positions).
  EngineStatus PushNode(uint32_t position, uint32_t level, bool fromCache) {
    if (top_ + 1 >= kStackSize) return store_.ReadErrorStatus();
    EngineStatus status = kEngineOk;
    Node* node = nullptr;
    if (fromCache) {
      node = FetchNode(position, level, status);
    } else if (CountVisit(status)) {
      node = ChooseVictim(status);
      if (node != nullptr) {
        status = ReadInto(*node, position, level);
        if (status != kEngineOk) node = nullptr;
      }
    }
    if (node == nullptr) return status;
    stack_[++top_].Reset(node);
    return kEngineOk;
  }

  void PopNode() {
    if (top_ < 0) return;
    stack_[top_--].Reset(nullptr);
  }

  void ClearStack() {
    while (top_ >= 0) PopNode();
  }

  Node* TopNode() const { return top_ < 0 ? nullptr : stack_[top_].get(); }
  Node* StackNode(int depth) const { return stack_[depth].get(); }
  // Index of the top handle; -1 when the stack is empty.
  int Top() const { return top_; }

 private:
  int32_t PinCount(int i) const { return buffers_[i] == nullptr ? 0 : buffers_[i]->pinCount; }
  uint32_t Stamp(int i) const { return buffers_[i] == nullptr ? 0 : buffers_[i]->stamp; }
  uint32_t Level(int i) const { return buffers_[i] == nullptr ? 0 : buffers_[i]->level; }

  bool CountVisit(EngineStatus& status) {
    if (++visits_ <= store_.VisitBudget()) return true;
    status = store_.ReadErrorStatus();
    return false;
  }

  EngineStatus ReadInto(Node& buffer, uint32_t position, uint32_t level) {
    const EngineStatus status = store_.ReadNode(position, level, buffer);
    if (status != kEngineOk) {
      Forget(buffer);
      return status;
    }
    buffer.stamp = clock_;
    return kEngineOk;
  }

  // A failed read leaves the buffer's contents undefined; it must not keep
  // claiming a position.
  static void Forget(Node& node) {
    node.position = 0;
    node.stamp = 0;
    node.cursor = 0;
    node.level = 0;
    node.dirty = false;
    node.count = 0;
  }

  NodeStore<Node>& store_;
  std::array<std::unique_ptr<Node>, kCacheSize> buffers_{};
  std::array<NodePin<Node>, kStackSize> stack_{};
  int top_ = -1;
  uint32_t clock_ = 0;
  uint64_t visits_ = 0;  // node visits of the current operation
};

}  // namespace kro

#endif
