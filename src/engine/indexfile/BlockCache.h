// The block tier of an index file's cache: copies of whole node blocks, in
// the file's own encoding and of the file's own block sizes, kept in memory
// under a byte budget and found by a hashed lookup on the block position.
//
// It sits below the small decoded node cache of each index. A node the
// decoded cache evicts is encoded as always, but the block lands here instead
// of in the file; a node fetched again is decoded from here instead of read.
// The bytes a block holds here are exactly the bytes the file would hold, so
// what reaches the file in the end does not depend on the budget.
//
// Invariants:
//  1. Every entry holds one whole block at its position; a dirty entry holds
//     bytes the file does not have yet and is written before it is dropped
//     (the owner does the writing: this class does no I/O).
//  2. The charged bytes (block sizes plus a fixed bookkeeping charge per
//     entry) stay within the budget after every Insert the owner completes
//     by writing back and dropping what Victim offers.
//  3. Recency order: the front of the list is the block used last.
#ifndef KRO_ENGINE_INDEXFILE_BLOCKCACHE_H
#define KRO_ENGINE_INDEXFILE_BLOCKCACHE_H

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kro {

class BlockCache {
 public:
  struct Block {
    uint32_t position = 0;
    uint32_t size = 0;
    bool dirty = false;
    std::unique_ptr<unsigned char[]> bytes;
  };

  // What one entry costs besides its block: list and hash nodes and the
  // allocation headers, rounded up.
  static constexpr size_t kEntryCharge = 96;

  BlockCache() = default;
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  size_t Budget() const { return budget_; }
  void SetBudget(size_t bytes) { budget_ = bytes; }
  size_t ChargedBytes() const { return charged_; }
  size_t Count() const { return index_.size(); }

  // The block at `position` (made the most recent), or null.
  Block* Find(uint32_t position);
  // A new entry of `size` bytes at `position` (REQUIRES: none there), made
  // the most recent. Null when the allocation failed or the block alone is
  // larger than the budget.
  Block* Insert(uint32_t position, uint32_t size);
  // The least recently used entry while the charged bytes exceed the budget,
  // else null. The owner writes it back when dirty, then calls Drop.
  Block* Victim();
  void Drop(uint32_t position);
  // Every dirty entry, by ascending position.
  std::vector<Block*> DirtyBlocks();
  // Forgets every entry, dirty or not.
  void Clear();

 private:
  using Entries = std::list<Block>;

  size_t budget_ = 0;
  size_t charged_ = 0;
  Entries entries_;  // most recent first
  std::unordered_map<uint32_t, Entries::iterator> index_;
};

}  // namespace kro

#endif
