// Decoders of what both index files share, over bytes with an explicit
// limit: a free block's link, runs that must be zero, and the tree shape a
// header's height and root describe. The engine's strict paths and the
// tolerant walks over a set's bytes both decode through these, so the two
// cannot read the same bytes two ways.
#ifndef KRO_ENGINE_INDEXFILE_INDEXBYTES_H
#define KRO_ENGINE_INDEXFILE_INDEXBYTES_H

#include <cstddef>
#include <cstdint>

#include "engine/indexfile/CIndexFile.h"

namespace kro {

// Bytes of the link at the front of a free block.
constexpr size_t kFreeLinkSize = 4;

// The next block of a free list, from the `available` bytes at the start of
// a free block. False, with `link` untouched, when they cannot hold it.
inline bool DecodeFreeLink(const unsigned char* block, size_t available, uint32_t& link) {
  if (available < kFreeLinkSize) return false;
  link = CIndexFile::GetUInt(block, 32);
  return true;
}

// Offset of the first non-zero byte of the `count` bytes at `bytes`;
// `count` when all are zero.
inline size_t FirstNonZeroByte(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return i;
  }
  return count;
}

inline bool AreZeroBytes(const unsigned char* bytes, size_t count) { return FirstNonZeroByte(bytes, count) == count; }

// Whether a header's height and root describe a tree the engine walks: at
// most `maxHeight` levels, and a root exactly when there is a level.
inline bool IsWalkableTreeShape(uint32_t height, uint32_t root, uint32_t maxHeight) {
  return height <= maxHeight && (height == 0) == (root == 0);
}

// Offset of the first header byte past the stored description at
// `descriptionOffset` (its length prefix and its bytes). REQUIRES: the
// description decoded (CIndexFile::GetString answered true) over the same
// header bytes.
inline size_t DescriptionEnd(const unsigned char* header, size_t descriptionOffset) {
  const unsigned char first = header[descriptionOffset];
  if (first != 0xFF) return descriptionOffset + 1 + first;
  return descriptionOffset + 3 + CIndexFile::GetUInt(header + descriptionOffset + 1, 16);
}

}  // namespace kro

#endif
