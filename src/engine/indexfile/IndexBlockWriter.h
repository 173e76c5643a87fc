// Writes a whole index file front to back in one pass, for the loaders that
// build a tree bottom-up: node blocks are laid end to end from offset 512
// through a buffer of about kWriteChunk bytes, and the header goes in last,
// so that a file cut short anywhere has an all-zero header and no root that
// a reader could follow.
#ifndef KRO_ENGINE_INDEXFILE_INDEXBLOCKWRITER_H
#define KRO_ENGINE_INDEXFILE_INDEXBLOCKWRITER_H

#include <cstdint>
#include <vector>

#include "engine/fileaccess/CGafRawFile.h"
#include "platform/FileSystem.h"

namespace kro {

class IndexBlockWriter {
 public:
  static constexpr uint32_t kWriteChunk = 1u << 20;

  // `file` is open for writing, empty and at offset 0; no block is larger
  // than `largestBlock` bytes, so the buffer never grows past a chunk and
  // one block. It starts with the header's 512 bytes, zero until
  // WriteHeader.
  IndexBlockWriter(const CGafRawFile& files, FileHandle file, uint32_t largestBlock);

  // The position the next block of `size` bytes gets; false when the file
  // would pass the largest addressable offset.
  bool Place(uint32_t size, uint32_t& position);
  // Room for the `size` bytes of the block just placed, zero-filled, valid
  // until the next call.
  unsigned char* Append(uint32_t size);
  // Writes the buffer once it holds a chunk; false when that write failed.
  bool FlushIfFull();
  // Writes what the buffer holds, then the 512 `header` bytes at offset 0.
  // Does not sync.
  bool WriteHeader(const unsigned char* header);

 private:
  bool Flush();

  CGafRawFile files_;
  FileHandle file_;
  std::vector<unsigned char> buffer_;
  uint32_t next_;
};

}  // namespace kro

#endif
