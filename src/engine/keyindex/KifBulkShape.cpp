#include "engine/keyindex/KifBulkShape.h"

namespace kro {

KifBulkShape::KifBulkShape(uint64_t count, uint32_t capacity) : capacity_(capacity) {
  uint64_t entries = count;  // of this level and those above it
  for (uint32_t level = 0; entries != 0; ++level) {
    if (level == kif::kMaxHeight) {
      fits_ = false;
      height_ = 0;
      return;
    }
    // ceil((entries + 1) / (M + 1)), written so that it cannot overflow; 1,
    // the root, once the entries fit in one node.
    const uint64_t nodes = entries / (capacity + 1) + 1;
    levels_[level] = Level{nodes, entries - (nodes - 1)};
    height_ = level + 1;
    entries = nodes - 1;
  }
}

uint32_t KifBulkShape::NodeEntries(uint32_t level, uint64_t index) const {
  const Level& shape = levels_[level];
  const uint64_t inFullNodes = (shape.nodes - 1) * capacity_;
  const uint64_t last = shape.entries - inFullNodes;
  if (shape.nodes == 1 || last >= capacity_ / 2) {
    return static_cast<uint32_t>(index + 1 < shape.nodes ? capacity_ : last);
  }
  const uint64_t shared = capacity_ + last;  // of the last two nodes
  if (index + 2 < shape.nodes) return capacity_;
  return static_cast<uint32_t>(index + 2 == shape.nodes ? shared - shared / 2 : shared / 2);
}

uint64_t KifBulkShape::FileBytes(uint32_t leafBlockSize, uint32_t internalBlockSize) const {
  uint64_t bytes = kif::kHeaderSize;
  for (uint32_t level = 0; level < height_; ++level) {
    const uint32_t blockSize = level == 0 ? leafBlockSize : internalBlockSize;
    // Saturates: a count this large is refused whatever the exact size.
    if (levels_[level].nodes > (UINT64_MAX - bytes) / blockSize) return UINT64_MAX;
    bytes += levels_[level].nodes * blockSize;
  }
  return bytes;
}

}  // namespace kro
