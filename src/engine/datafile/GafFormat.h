// Constants of the ".gaf" data file format, in one place: chunk framing, tag
// codes, the info chunk layout, string forms, record kinds and the sizes of the
// engine's buffers. Every integer in the file is unsigned big-endian; every
// real an IEEE number, big-endian. See docs/gaf-format.md.
#ifndef KRO_ENGINE_DATAFILE_GAFFORMAT_H
#define KRO_ENGINE_DATAFILE_GAFFORMAT_H

#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro::gaf {

// Chunk framing. A tag word holds the code in bits 15..10 and the payload
// length in bits 6..0; 127 there means a u32 length follows. A chunk with an
// odd payload length is followed by one pad byte that the length leaves out,
// so every chunk starts at an even offset.
constexpr uint32_t kTagWordSize = 2;
constexpr uint32_t kLongLengthSize = 4;
constexpr uint32_t kTagCodeShift = 10;
constexpr uint32_t kTagCodeMask = 63;
constexpr uint32_t kTagLengthMask = 127;
constexpr uint32_t kLongLengthMarker = 127;
constexpr uint32_t kMaxShortLength = 126;

// Tag codes.
constexpr uint32_t kCodeInfo = 0;
constexpr uint32_t kCodeEndOfData = 1;
constexpr uint32_t kCodeEndOfHeader = 2;
constexpr uint32_t kCodeVersion = 16;
constexpr uint32_t kCodeDescription = 17;
constexpr uint32_t kCodePrecision = 18;
constexpr uint32_t kCodeCoordSys = 19;
constexpr uint32_t kCodeProjection = 20;
constexpr uint32_t kCodeDatum = 21;
constexpr uint32_t kCodeEllipsoid = 22;
constexpr uint32_t kCodeMetadataMarker = 23;
// Rings of multi-polygon records carry their roles in their orientation
// (docs/gaf-format.md); written only when a writer is asked.
constexpr uint32_t kCodeRingRoles = 24;
constexpr uint32_t kCodeFirstObject = 32;  // 32 + object type
constexpr uint32_t kCodeLastObject = 37;
constexpr uint32_t kCodeFree = 63;

// Info chunk: always first, always 46 bytes in the short form, so that close
// can rewrite it in place. Offsets are within its 44-byte payload.
constexpr uint32_t kInfoPayloadSize = 44;
constexpr uint32_t kInfoChunkSize = kTagWordSize + kInfoPayloadSize;
constexpr uint32_t kInfoObjectCount = 0;
constexpr uint32_t kInfoFreeListHead = 4;
constexpr uint32_t kInfoKinds = 8;
constexpr uint32_t kInfoXMin = 12;
constexpr uint32_t kInfoYMin = 20;
constexpr uint32_t kInfoXMax = 28;
constexpr uint32_t kInfoYMax = 36;

// Bits of the kinds word.
constexpr uint32_t kKindPoints = 1;  // object types 0 and 1
constexpr uint32_t kKindLines = 2;   // object types 2 and 3
constexpr uint32_t kKindAreas = 4;   // object types 4 and 5

// Header values.
constexpr uint32_t kWrittenVersion = 2;
constexpr uint32_t kMaxReadableVersion = 2;
constexpr uint32_t kLastOldLayoutVersion = 1;  // versions 0 and 1: no URL, no single-set count
constexpr uint32_t kSingleCoordinateBits = 32;  // the precision chunk's two values
constexpr uint32_t kDoubleCoordinateBits = 64;
constexpr uint32_t kDefaultCoordinateBits = kSingleCoordinateBits;
constexpr uint32_t kMetadataMarkerValue = 1;
constexpr uint32_t kRingRolesValue = 1;
constexpr uint32_t kU16PayloadSize = 2;  // version, precision, marker and ring-roles chunks

// Fixed parts of the metadata chunks (besides their strings).
constexpr uint32_t kCoordSysStringCount = 5;
constexpr uint32_t kCoordSysNumbersSize = 8 * 8;
constexpr uint32_t kProjectionPayloadSize = 24 * 8;  // always written in the long form
constexpr uint32_t kDatumStringCount = 2;
constexpr uint32_t kDatumNumbersSize = 7 * 8 + 2;
constexpr uint32_t kEllipsoidStringCount = 2;
constexpr uint32_t kEllipsoidNumbersSize = 2 * 8;

// String form: n <= 126 as one byte n; longer as 127 (any first byte of 127
// or more reads as the long form), a u16 n; then the n bytes.
constexpr uint32_t kMaxShortString = 126;
constexpr uint32_t kLongStringMarker = 127;
constexpr uint32_t kMaxStringBytes = 65535;
constexpr uint32_t kMaxStringForm = kMaxStringBytes + 3;

// Record kinds beyond EGafObjectType: type 1 (multi-point) and the free record.
constexpr EGafObjectType kMultiPointType = static_cast<EGafObjectType>(1);
constexpr EGafObjectType kFreeRecordType = static_cast<EGafObjectType>(10);
constexpr uint32_t kFreeLinkSize = 4;
constexpr uint32_t kMaxU16Count = 65535;
constexpr uint32_t kSetCountSize = 4;
constexpr uint32_t kEndOfDataSize = kTagWordSize;

// Buffers of the engine. Readers with fixed buffers stop at records of more
// vertices than the read capacity; this one takes records of any size.
constexpr uint32_t kReadCapacity = 16384;
constexpr uint32_t kIoBufferSize = 262144;  // raw read buffer and write buffer
constexpr uint32_t kReadAheadSize = 65536;  // one read of a sequential pass
constexpr uint32_t kRandomReadSize = 1024;  // one read at a record found by position
constexpr uint32_t kMaxTextBytes = 255;     // of a name, key or URL as a reader returns it

constexpr uint32_t RoundUpEven(uint32_t length) { return length + (length & 1u); }
constexpr uint64_t RoundUpEven64(uint64_t length) { return length + (length & 1u); }
constexpr uint32_t StoredStringSize(uint32_t n) { return n <= kMaxShortString ? n + 1 : n + 3; }
constexpr uint32_t TagHeaderSize(bool longForm) { return longForm ? kTagWordSize + kLongLengthSize : kTagWordSize; }
constexpr bool NeedsLongForm(uint32_t length) { return length > kMaxShortLength; }
constexpr uint16_t TagWord(uint32_t code, bool longForm, uint32_t length) {
  return static_cast<uint16_t>(code << kTagCodeShift | (longForm ? kLongLengthMarker : length));
}
constexpr bool IsValidPrecision(uint32_t bits) { return bits == kSingleCoordinateBits || bits == kDoubleCoordinateBits; }
constexpr bool IsObjectCode(uint32_t code) { return code >= kCodeFirstObject && code <= kCodeLastObject; }

// Bit of the kinds word for an object type (0 for anything else).
constexpr uint32_t KindBit(int32_t objectType) {
  return objectType == 0 || objectType == 1   ? kKindPoints
         : objectType == 2 || objectType == 3 ? kKindLines
         : objectType == 4 || objectType == 5 ? kKindAreas
                                              : 0;
}

}  // namespace kro::gaf

#endif
