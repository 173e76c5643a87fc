// The block tier of an index file's cache: copies of whole node blocks, in
// the file's own encoding and of the file's own block sizes, kept in memory
// under a byte budget and found by a hashed lookup on the block position
// (open addressing, linear probing). Eviction is the clock algorithm: a
// block used since the hand last passed it gets a second chance.
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
//  3. Every entry in use is in the table exactly once; a free slot of the
//     entry array holds no bytes and is listed as free.
#ifndef KRO_ENGINE_INDEXFILE_BLOCKCACHE_H
#define KRO_ENGINE_INDEXFILE_BLOCKCACHE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kro {

class BlockCache {
 public:
  struct Block {
    uint32_t position = 0;
    uint32_t size = 0;
    bool dirty = false;
    bool referenced = false;  // used since the clock hand last passed
    std::unique_ptr<unsigned char[]> bytes;
  };

  // What one entry costs besides its block: the entry, its table slots and
  // the allocation header, rounded up.
  static constexpr size_t kEntryCharge = 64;

  BlockCache() = default;
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  size_t Budget() const { return budget_; }
  void SetBudget(size_t bytes) { budget_ = bytes; }
  size_t ChargedBytes() const { return charged_; }
  size_t Count() const { return count_; }

  // The block at `position` (marked as used), or null. The pointer is valid
  // until the next Insert.
  Block* Find(uint32_t position);
  // A new entry of `size` bytes at `position` (REQUIRES: none there), marked
  // as used. Null when the allocation failed or the block alone is larger
  // than the budget.
  Block* Insert(uint32_t position, uint32_t size);
  // While the charged bytes exceed the budget, the entry the clock hand
  // stops at; else null. The owner writes it back when dirty, then calls
  // Drop.
  Block* Victim();
  void Drop(uint32_t position);
  // Every dirty entry, by ascending position.
  std::vector<Block*> DirtyBlocks();
  // Forgets every entry, dirty or not.
  void Clear();

 private:
  static constexpr uint32_t kEmpty = 0;  // table slot value; else entry + 1

  // Block positions share their low bits (blocks start at multiples of a
  // grain), and so do their products with an odd number: the product's high
  // bits are folded in, or most slots would never be a home.
  size_t Home(uint32_t position) const {
    const uint32_t product = position * 0x9E3779B1u;
    return (product ^ product >> 16) & (table_.size() - 1);
  }
  // The table slot that holds `position`, or the empty slot where it would go.
  size_t Probe(uint32_t position) const;
  // Doubles the table when it is half full. False when that failed.
  bool Grow();

  size_t budget_ = 0;
  size_t charged_ = 0;
  size_t count_ = 0;
  std::vector<Block> entries_;
  std::vector<uint32_t> freeEntries_;
  std::vector<uint32_t> table_;  // size a power of two, at most half full
  size_t hand_ = 0;
};

}  // namespace kro

#endif
