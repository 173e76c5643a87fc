// The chunk tag of the data file, decoded from bytes a caller holds: the tag
// word (code, short length or the long-form marker, reserved bits) and the
// u32 length of the long form. The engine's reads and the inspection walk
// both frame chunks through these.
#ifndef KRO_ENGINE_DATAFILE_GAFCHUNKTAG_H
#define KRO_ENGINE_DATAFILE_GAFCHUNKTAG_H

#include <cstdint>

#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"

namespace kro::gaf {

// Bits 9..7 of a tag word; writers leave them zero.
constexpr uint32_t kTagReservedBits = 0x0380u;

struct ChunkTag {
  uint32_t code = 0;
  uint32_t length = 0;  // payload length
  bool longForm = false;
  bool reservedBitsSet = false;
  // Tag word and, in the long form, the u32 length.
  uint32_t HeaderSize() const { return TagHeaderSize(longForm); }
};

// The tag word alone. In the long form `length` is still the marker, until
// DecodeLongLength fills it in.
// REQUIRES: `word` holds kTagWordSize bytes.
inline ChunkTag DecodeTagWord(const uint8_t* word) {
  const uint32_t value = LoadU16(word);
  ChunkTag tag;
  tag.code = value >> kTagCodeShift & kTagCodeMask;
  tag.length = value & kTagLengthMask;
  tag.longForm = tag.length == kLongLengthMarker;
  tag.reservedBitsSet = (value & kTagReservedBits) != 0;
  return tag;
}

// REQUIRES: `bytes` holds kLongLengthSize bytes, the ones after a long-form tag word.
inline void DecodeLongLength(const uint8_t* bytes, ChunkTag& tag) { tag.length = LoadU32(bytes); }

// The whole tag from the `available` bytes at `bytes`. False when they hold
// less than the tag needs; `needed` then tells how many it needs (2, or 6 in
// the long form).
inline bool DecodeChunkTag(const uint8_t* bytes, uint64_t available, ChunkTag& tag, uint32_t& needed) {
  needed = kTagWordSize;
  if (available < needed) return false;
  tag = DecodeTagWord(bytes);
  needed = tag.HeaderSize();
  if (available < needed) return false;
  if (tag.longForm) DecodeLongLength(bytes + kTagWordSize, tag);
  return true;
}

// The string form: the size of its prefix (1, or 3 from the long-form marker
// on) from its first byte, and the text length from the whole prefix.
inline uint32_t StringPrefixSize(uint8_t first) { return first >= kLongStringMarker ? 3 : 1; }
// REQUIRES: `prefix` holds StringPrefixSize(prefix[0]) bytes.
inline uint32_t StringTextLength(const uint8_t* prefix) {
  return prefix[0] >= kLongStringMarker ? LoadU16(prefix + 1) : prefix[0];
}

}  // namespace kro::gaf

#endif
