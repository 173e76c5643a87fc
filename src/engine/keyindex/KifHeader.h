// The header of a key index file in memory, with its 512-byte encoding.
#ifndef KRO_ENGINE_KEYINDEX_KIFHEADER_H
#define KRO_ENGINE_KEYINDEX_KIFHEADER_H

#include <cstddef>
#include <cstdint>

#include "engine/EngineStatus.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/keyindex/KifFormat.h"

namespace kro {

namespace kif {

// Why a header is refused, in the order the checks run.
enum class HeaderFault {
  kNone,
  kTooShort,     // fewer than kHeaderSize bytes
  kMagic,        // not "AKIF"
  kVersion,      // above kVersion
  kCapacity,     // outside kMinCapacity..kMaxCapacity
  kKeyLength,    // outside kMinKeyLength..kMaxKeyLength
  kTreeShape,    // height above kMaxHeight, or a height without a root or a root without one
  kDescription,  // claims more than 255 bytes or runs past the header
};

// The status open answers for a refused header.
EngineStatus HeaderFaultStatus(HeaderFault fault);
// Why, in the words of an error.
const char* HeaderFaultReason(HeaderFault fault);

}  // namespace kif

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
  // Decodes and checks the `available` bytes at `bytes`. Unless they are
  // too few, every field is set in `header`, also when a check refuses it
  // (the walks show them); the block sizes are derived once capacity and key
  // length passed.
  static kif::HeaderFault DecodeFields(const unsigned char* bytes, size_t available, KifHeader& header);
  // Offset of the first non-zero byte of the padding after the description,
  // or kHeaderSize when it is zero. REQUIRES: `bytes` decoded with kNone.
  static size_t FirstPaddingByteSet(const unsigned char* bytes);
};

}  // namespace kro

#endif
