// The 512-byte header of a spatial index file: its encoding, and its
// decoding with the first reason it cannot be read. Open refuses a header
// for that reason; the walk over a set's bytes reports it.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFHEADERCODEC_H
#define KRO_ENGINE_SPATIALINDEX_SIFHEADERCODEC_H

#include <cstddef>
#include <cstdint>

#include "engine/EngineStatus.h"
#include "engine/spatialindex/SifNode.h"

namespace kro::sif {

// Why a header is refused, in the order the checks run.
enum class HeaderFault {
  kNone,
  kTooShort,        // fewer than kIndexHeaderSize bytes
  kMagic,           // not "ASIF"
  kVersion,         // above kCurrentVersion
  kCapacity,        // maximum outside kMinMaxEntries..kMaxSlots, minimum 0 or above the maximum
  kCoordinateBits,  // neither 32 nor 64
  kDescription,     // claims more than 255 bytes or runs past the header
  kTreeShape,       // height above kMaxHeight, or a height without a root or a root without one
};

// Decodes the header from the `available` bytes at `bytes`. Unless they are
// too few, every field is set in `header`, also when a check refuses it (the
// walks show them); the block sizes are derived only for kNone.
HeaderFault DecodeHeader(const unsigned char* bytes, size_t available, SifHeader& header);

// The status open answers for a refused header.
EngineStatus HeaderFaultStatus(HeaderFault fault);
// Why, in the words of an error.
const char* HeaderFaultReason(HeaderFault fault);

// Writes the whole header, zero padding included, into kIndexHeaderSize
// bytes.
void EncodeHeader(const SifHeader& header, unsigned char* bytes);

// Offset of the first non-zero byte of the padding after the description,
// or kIndexHeaderSize when the padding is zero. REQUIRES: `bytes` decoded
// with kNone.
size_t FirstPaddingByteSet(const unsigned char* bytes);

}  // namespace kro::sif

#endif
