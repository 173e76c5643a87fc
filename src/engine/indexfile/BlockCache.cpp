#include "engine/indexfile/BlockCache.h"

#include <algorithm>
#include <new>

namespace kro {

BlockCache::Block* BlockCache::Find(uint32_t position) {
  const auto found = index_.find(position);
  if (found == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return &*found->second;
}

BlockCache::Block* BlockCache::Insert(uint32_t position, uint32_t size) {
  if (size + kEntryCharge > budget_) return nullptr;
  try {
    Block block;
    block.position = position;
    block.size = size;
    block.bytes.reset(new unsigned char[size]);
    entries_.push_front(std::move(block));
    index_.emplace(position, entries_.begin());
  } catch (const std::bad_alloc&) {
    if (!entries_.empty() && entries_.front().position == position && index_.count(position) == 0) {
      entries_.pop_front();
    }
    return nullptr;
  }
  charged_ += size + kEntryCharge;
  return &entries_.front();
}

BlockCache::Block* BlockCache::Victim() {
  if (charged_ <= budget_ || entries_.empty()) return nullptr;
  return &entries_.back();
}

void BlockCache::Drop(uint32_t position) {
  const auto found = index_.find(position);
  if (found == index_.end()) return;
  charged_ -= found->second->size + kEntryCharge;
  entries_.erase(found->second);
  index_.erase(found);
}

std::vector<BlockCache::Block*> BlockCache::DirtyBlocks() {
  std::vector<Block*> dirty;
  for (Block& block : entries_) {
    if (block.dirty) dirty.push_back(&block);
  }
  std::sort(dirty.begin(), dirty.end(), [](const Block* a, const Block* b) { return a->position < b->position; });
  return dirty;
}

void BlockCache::Clear() {
  index_.clear();
  entries_.clear();
  charged_ = 0;
}

}  // namespace kro
