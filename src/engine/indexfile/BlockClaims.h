// Which block places of an index file a walk has reached: one bit per place
// (every multiple of the grain past the 512-byte header), so that a block
// reached twice (two parents, a cycle, a free block still in the tree, two
// free lists sharing a block) is recognised instead of walked again.
#ifndef KRO_ENGINE_INDEXFILE_BLOCKCLAIMS_H
#define KRO_ENGINE_INDEXFILE_BLOCKCLAIMS_H

#include <cstdint>
#include <vector>

namespace kro {

class BlockClaims {
 public:
  // The places of a file of `fileSize` bytes. REQUIRES: grain != 0. Without
  // memory for the bits, nothing is remembered and every claim succeeds.
  BlockClaims(uint64_t fileSize, uint32_t grain);

  // False when `position` was claimed before. REQUIRES: a block place of the
  // file.
  bool Claim(uint32_t position);
  // Places the file holds: the bound of every list walk.
  uint64_t PlaceCount() const { return places_; }

 private:
  uint32_t grain_;
  uint64_t places_;
  std::vector<bool> seen_;
};

}  // namespace kro

#endif
