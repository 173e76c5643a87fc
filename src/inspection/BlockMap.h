// The block places of an index file (".sif" or ".kif"): offsets from 512 on
// the grain of the two block sizes, inside the file. Remembers which places a
// walk has claimed, so that a block reached twice (a cycle, two parents, a
// free block still in the tree) is found instead of walked again.
#ifndef KRO_INSPECTION_BLOCKMAP_H
#define KRO_INSPECTION_BLOCKMAP_H

#include <cstdint>
#include <functional>
#include <string>

#include "ByteFile.h"
#include "engine/indexfile/BlockClaims.h"

namespace kro::inspection {

class BlockMap {
 public:
  BlockMap(const ByteFile& file, uint32_t internalBlockSize, uint32_t leafBlockSize);

  // Whether a block of `blockSize` bytes can start at `position`.
  bool IsPlace(uint32_t position, uint32_t blockSize) const;
  // False when the place was claimed before. REQUIRES: IsPlace.
  bool Claim(uint32_t position) { return claims_.Claim(position); }
  // Places a file of this size holds: the bound of every list walk.
  uint64_t PlaceCount() const { return claims_.PlaceCount(); }

 private:
  const ByteFile& file_;
  uint32_t grain_;
  kro::BlockClaims claims_;
};

// Follows a free list from `head`, claiming each block. Calls `report` with
// the offending position and a sentence for a link that is no block place
// or a block already claimed, and stops there. Returns the blocks counted.
uint32_t WalkFreeList(const ByteFile& file, BlockMap& map, uint32_t head, uint32_t blockSize,
                      const std::function<void(uint32_t, const std::string&)>& report);

}  // namespace kro::inspection

#endif
