// The header of a key index file in memory, with its 512-byte encoding.
#ifndef KRO_ENGINE_KEYINDEX_KIFHEADER_H
#define KRO_ENGINE_KEYINDEX_KIFHEADER_H

#include <cstdint>

#include "engine/EngineStatus.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/keyindex/KifFormat.h"

namespace kro {

struct KifHeader {
  uint32_t version = kif::kVersion;
  uint32_t capacity = kif::kDefaultCapacity;      // M
  uint32_t minimum = kif::kDefaultCapacity / 2;   // m = M / 2
  uint32_t keyLength = kif::kDefaultKeyLength;    // L
  uint32_t height = 0;                            // 0: the tree is empty
  uint32_t rootPosition = 0;
  uint32_t freeInternal = 0;                      // head of the free internal blocks
  uint32_t freeLeaf = 0;                          // head of the free leaf blocks
  uint32_t entryCount = 0;
  char description[kMaxIndexDescription + 1] = {};
  // Derived, never stored.
  uint32_t internalBlockSize = kif::InternalBlockSize(kif::kDefaultCapacity, kif::kDefaultKeyLength);
  uint32_t leafBlockSize = kif::LeafBlockSize(kif::kDefaultCapacity, kif::kDefaultKeyLength);
  // Every block place is a multiple of this past the header.
  uint32_t blockGrain = CIndexFile::GreatestCommonDivisor(internalBlockSize, leafBlockSize);

  // Sets M and L and everything derived from them.
  void SetShape(uint32_t newCapacity, uint32_t newKeyLength);
  uint32_t BlockSize(uint32_t level) const { return level == 0 ? leafBlockSize : internalBlockSize; }
  // Free list of the blocks of a level's kind.
  uint32_t& FreeHead(uint32_t level) { return level == 0 ? freeLeaf : freeInternal; }

  // Writes the whole 512-byte header, zero padding included.
  void Encode(unsigned char* bytes) const;
  // Decodes and checks 512 bytes. eKifNotAKif for a wrong magic and for a
  // header that cannot describe a tree this engine can hold (capacity outside
  // 2..20, key length outside 1..256, a description form over 255 bytes, a
  // height the path stack cannot walk, a height without a root or a root
  // without a height); eKifBadVersion for a version above 1. On failure
  // `header` is left unchanged.
  static EngineStatus Decode(const unsigned char* bytes, KifHeader& header);
};

}  // namespace kro

#endif
