// The leaves a search of a read-only index is about to view, and the one run
// of them that was read last. A search views most leaves once, so they are
// read into a buffer of their own instead of the block cache: no allocation
// and no copy per leaf, and the cache keeps the inner nodes that searches
// share. The run is read when its first block is viewed, from that block on
// through the held blocks that lie within kRunBytes of it.
//
// Only a file that this open never writes may hold runs: the bytes held are
// the file's, with no later write to miss.
#ifndef KRO_ENGINE_INDEXFILE_HELDBLOCKRUNS_H
#define KRO_ENGINE_INDEXFILE_HELDBLOCKRUNS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/indexfile/BlockCache.h"

namespace kro {

class HeldBlockRuns {
 public:
  static constexpr uint32_t kRunBytes = 16384;

  // Holds the blocks of `size` bytes at `positions` (any order), in place of
  // those held before. The run read last stays readable.
  void Hold(const uint32_t* positions, uint32_t count, uint32_t size);
  // Forgets the blocks and the run.
  void Forget();

  // The block's bytes in the run read last, or null.
  const unsigned char* Find(uint32_t position, uint32_t size) const;

  // The run a view of the block at `position` reads: from it through the
  // held blocks after it within kRunBytes; false when the block is not held
  // (or no buffer can be had), and the caller reads it as it would anyway.
  // A run stops before a block that `cache` holds already.
  bool PlanRun(uint32_t position, uint32_t size, BlockCache& cache, uint32_t& start, uint32_t& length);
  // Where the planned run is read to.
  unsigned char* Buffer() { return buffer_.get(); }
  // The planned run [start, start + length) now lies in the buffer.
  void RunRead(uint32_t start, uint32_t length) {
    runStart_ = start;
    runLength_ = length;
  }
  // After a failed read the buffer holds no run.
  void RunLost() { runLength_ = 0; }

 private:
  static constexpr size_t kNotHeld = ~size_t{0};
  size_t HeldIndex(uint32_t position, uint32_t size) const;
  bool HaveBuffer();

  std::vector<uint32_t> positions_;  // ascending, no block twice
  uint32_t size_ = 0;
  std::unique_ptr<unsigned char[]> buffer_;  // kRunBytes, made at the first run
  uint32_t runStart_ = 0;
  uint32_t runLength_ = 0;  // 0: no run in the buffer
};

}  // namespace kro

#endif
