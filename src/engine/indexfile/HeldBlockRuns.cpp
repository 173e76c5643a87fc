#include "engine/indexfile/HeldBlockRuns.h"

#include <algorithm>
#include <new>

#include "engine/indexfile/BlockRun.h"

namespace kro {

void HeldBlockRuns::Hold(const uint32_t* positions, uint32_t count, uint32_t size) {
  positions_.clear();
  size_ = size;
  if (size == 0 || size > kRunBytes) return;
  try {
    positions_.assign(positions, positions + count);
  } catch (const std::bad_alloc&) {
    positions_.clear();  // the blocks are read as they are viewed
    return;
  }
  std::sort(positions_.begin(), positions_.end());
  positions_.erase(std::unique(positions_.begin(), positions_.end()), positions_.end());
}

void HeldBlockRuns::Forget() {
  positions_.clear();
  runLength_ = 0;
}

const unsigned char* HeldBlockRuns::Find(uint32_t position, uint32_t size) const {
  if (runLength_ == 0 || position < runStart_) return nullptr;
  const uint32_t offset = position - runStart_;
  return offset < runLength_ && size <= runLength_ - offset ? buffer_.get() + offset : nullptr;
}

bool HeldBlockRuns::PlanRun(uint32_t position, uint32_t size, BlockCache& cache, uint32_t& start, uint32_t& length) {
  const size_t first = HeldIndex(position, size);
  if (first == kNotHeld || !HaveBuffer()) return false;
  const size_t last = BlockRunLast(positions_.data(), first, positions_.size(), size_, kRunBytes, cache);
  start = position;
  length = positions_[last] + size_ - position;
  return true;
}

size_t HeldBlockRuns::HeldIndex(uint32_t position, uint32_t size) const {
  if (size != size_) return kNotHeld;
  const auto found = std::lower_bound(positions_.begin(), positions_.end(), position);
  return found != positions_.end() && *found == position ? static_cast<size_t>(found - positions_.begin()) : kNotHeld;
}

bool HeldBlockRuns::HaveBuffer() {
  if (buffer_ == nullptr) buffer_.reset(new (std::nothrow) unsigned char[kRunBytes]);
  return buffer_ != nullptr;
}

}  // namespace kro
