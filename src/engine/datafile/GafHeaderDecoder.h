// The payloads of the header chunks, decoded in one place for the engine's
// open and for the inspection walk: the info chunk, the u16 chunks (version,
// precision, metadata marker, ring roles), the description and the four metadata chunks.
// Each reads through a GafPayloadReader whose length is the chunk's, so a
// field past the chunk fails; a chunk longer than its content leaves bytes
// unconsumed, which the strict open passes over and the walk reports.
#ifndef KRO_ENGINE_DATAFILE_GAFHEADERDECODER_H
#define KRO_ENGINE_DATAFILE_GAFHEADERDECODER_H

#include <cstdint>
#include <string>

#include "engine/datafile/GafCoordSys.h"
#include "engine/datafile/GafPayloadReader.h"

namespace kro::gaf {

struct InfoFields {
  uint32_t objectCount = 0;
  uint32_t freeListHead = 0;
  uint32_t kinds = 0;
  double xMin = 0;
  double yMin = 0;
  double xMax = 0;
  double yMax = 0;
};

bool DecodeInfo(GafPayloadReader& reader, InfoFields& info);
// The version, precision, metadata-marker and ring-roles chunks.
inline bool DecodeU16Chunk(GafPayloadReader& reader, uint32_t& value) { return reader.GetU16(value); }
// False when the string runs past the chunk or cannot be held.
bool DecodeDescription(GafPayloadReader& reader, std::string& description);
// Metadata strings land in the 256-byte fields, cut to 255 bytes.
bool DecodeCoordSys(GafPayloadReader& reader, GafCoordSys& c);
bool DecodeProjection(GafPayloadReader& reader, GafCoordSys& c);
bool DecodeDatum(GafPayloadReader& reader, GafCoordSys& c);
bool DecodeEllipsoid(GafPayloadReader& reader, GafCoordSys& c);

// Whether `code` is a header chunk this engine decodes (the others are
// passed over by their length).
constexpr bool IsKnownHeaderCode(uint32_t code) {
  return code == kCodeInfo || (code >= kCodeVersion && code <= kCodeRingRoles);
}

}  // namespace kro::gaf

#endif
