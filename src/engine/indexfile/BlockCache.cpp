#include "engine/indexfile/BlockCache.h"

#include <algorithm>
#include <new>
#include <utility>

namespace kro {

size_t BlockCache::Probe(uint32_t position) const {
  size_t slot = Home(position);
  while (table_[slot] != kEmpty && entries_[table_[slot] - 1].position != position) {
    slot = (slot + 1) & (table_.size() - 1);
  }
  return slot;
}

BlockCache::Block* BlockCache::Find(uint32_t position) {
  if (count_ == 0) return nullptr;
  const uint32_t held = table_[Probe(position)];
  if (held == kEmpty) return nullptr;
  Block& block = entries_[held - 1];
  block.referenced = true;
  return &block;
}

bool BlockCache::Grow() {
  if (2 * (count_ + 1) <= table_.size()) return true;
  std::vector<uint32_t> old;
  try {
    old.assign(std::max<size_t>(64, 2 * table_.size()), kEmpty);
  } catch (const std::bad_alloc&) {
    return false;
  }
  old.swap(table_);
  for (uint32_t held : old) {
    if (held != kEmpty) table_[Probe(entries_[held - 1].position)] = held;
  }
  return true;
}

BlockCache::Block* BlockCache::Insert(uint32_t position, uint32_t size) {
  if (size + kEntryCharge > budget_ || !Grow()) return nullptr;
  std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size]);
  if (bytes == nullptr) return nullptr;
  uint32_t entry;
  if (!freeEntries_.empty()) {
    entry = freeEntries_.back();
    freeEntries_.pop_back();
  } else {
    try {
      // Room to list every entry as free later, so Drop never allocates;
      // grown by doubling, as the entries are, not one entry at a time.
      if (freeEntries_.capacity() <= entries_.size()) freeEntries_.reserve(2 * entries_.size() + 16);
      entries_.emplace_back();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    entry = static_cast<uint32_t>(entries_.size() - 1);
  }
  Block& block = entries_[entry];
  block.position = position;
  block.size = size;
  block.dirty = false;
  block.referenced = true;
  block.bytes = std::move(bytes);
  table_[Probe(position)] = entry + 1;
  ++count_;
  charged_ += size + kEntryCharge;
  return &block;
}

BlockCache::Block* BlockCache::Victim() {
  if (charged_ <= budget_ || count_ == 0) return nullptr;
  // Two turns of the hand find an entry: the first clears every mark.
  for (size_t step = 0; step < 2 * entries_.size() + 1; ++step) {
    hand_ = (hand_ + 1) % entries_.size();
    Block& block = entries_[hand_];
    if (block.bytes == nullptr) continue;
    if (!block.referenced) return &block;
    block.referenced = false;
  }
  return nullptr;
}

void BlockCache::Drop(uint32_t position) {
  if (count_ == 0) return;
  size_t slot = Probe(position);
  const uint32_t held = table_[slot];
  if (held == kEmpty) return;
  Block& block = entries_[held - 1];
  charged_ -= block.size + kEntryCharge;
  block.bytes.reset();
  block.dirty = false;
  freeEntries_.push_back(held - 1);
  --count_;
  // Backward-shift deletion: later entries of the probe run move up, so no
  // run is broken by the freed slot.
  const size_t mask = table_.size() - 1;
  for (size_t next = (slot + 1) & mask; table_[next] != kEmpty; next = (next + 1) & mask) {
    const size_t home = Home(entries_[table_[next] - 1].position);
    // Moves when its home is not cyclically in (slot, next].
    if (((next - home) & mask) >= ((next - slot) & mask)) {
      table_[slot] = table_[next];
      slot = next;
    }
  }
  table_[slot] = kEmpty;
}

std::vector<BlockCache::Block*> BlockCache::DirtyBlocks() {
  std::vector<Block*> dirty;
  for (Block& block : entries_) {
    if (block.bytes != nullptr && block.dirty) dirty.push_back(&block);
  }
  std::sort(dirty.begin(), dirty.end(), [](const Block* a, const Block* b) { return a->position < b->position; });
  return dirty;
}

void BlockCache::Clear() {
  entries_.clear();
  freeEntries_.clear();
  table_.clear();
  count_ = 0;
  charged_ = 0;
  hand_ = 0;
}

}  // namespace kro
