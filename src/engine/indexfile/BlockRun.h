// Which blocks one read may bring in together: from `first` on, the blocks
// of `size` bytes at `positions` (ascending) that are back to back or have
// gaps, none overlapping the one before, all within `window` bytes of the
// first, and none that `cache` holds already.
#ifndef KRO_ENGINE_INDEXFILE_BLOCKRUN_H
#define KRO_ENGINE_INDEXFILE_BLOCKRUN_H

#include <cstddef>
#include <cstdint>

#include "engine/indexfile/BlockCache.h"

namespace kro {

// The index of the run's last block. REQUIRES: first < count, size <= window.
inline size_t BlockRunLast(const uint32_t* positions, size_t first, size_t count, uint32_t size, uint32_t window,
                           BlockCache& cache) {
  size_t last = first;
  while (last + 1 < count && positions[last + 1] >= positions[last] + size &&
         positions[last + 1] - positions[first] <= window - size && cache.Find(positions[last + 1]) == nullptr) {
    ++last;
  }
  return last;
}

}  // namespace kro

#endif
