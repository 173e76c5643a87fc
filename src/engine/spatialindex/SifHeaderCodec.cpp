#include "engine/spatialindex/SifHeaderCodec.h"

#include <cstring>

#include "engine/indexfile/IndexBytes.h"

namespace kro::sif {
namespace {

bool IsUsableCapacity(const SifHeader& h) {
  return h.maxEntries >= kMinMaxEntries && h.maxEntries <= kMaxSlots && h.minEntries >= 1 &&
         h.minEntries <= h.maxEntries;
}

uint32_t U16(const unsigned char* bytes, size_t offset) { return CIndexFile::GetUInt(bytes + offset, 16); }
uint32_t U32(const unsigned char* bytes, size_t offset) { return CIndexFile::GetUInt(bytes + offset, 32); }

}  // namespace

HeaderFault DecodeHeader(const unsigned char* bytes, size_t available, SifHeader& header) {
  if (available < kIndexHeaderSize) return HeaderFault::kTooShort;
  header.version = U16(bytes, kVersionOffset);
  header.minEntries = U16(bytes, kMinimumOffset);
  header.maxEntries = U16(bytes, kMaximumOffset);
  header.height = U16(bytes, kHeightOffset);
  header.coordinateBits = U16(bytes, kCoordinateBitsOffset);
  header.rootPosition = U32(bytes, kRootOffset);
  header.freeInternalHead = U32(bytes, kFreeInternalOffset);
  header.freeLeafHead = U32(bytes, kFreeLeafOffset);
  header.objectCount = U32(bytes, kObjectCountOffset);
  const bool described =
      CIndexFile::GetString(bytes + kDescriptionOffset, kIndexHeaderSize - kDescriptionOffset, header.description);
  if (U32(bytes, kMagicOffset) != kMagic) return HeaderFault::kMagic;
  if (header.version > kCurrentVersion) return HeaderFault::kVersion;
  if (!IsUsableCapacity(header)) return HeaderFault::kCapacity;
  if (!IsValidCoordinateBits(header.coordinateBits)) return HeaderFault::kCoordinateBits;
  if (!described) return HeaderFault::kDescription;
  if (!IsWalkableTreeShape(header.height, header.rootPosition, kMaxHeight)) return HeaderFault::kTreeShape;
  header.ComputeBlockSizes();
  return HeaderFault::kNone;
}

EngineStatus HeaderFaultStatus(HeaderFault fault) {
  switch (fault) {
    case HeaderFault::kNone: return kEngineOk;
    case HeaderFault::kTooShort: return eSifReadError;
    case HeaderFault::kVersion: return eSifBadVersion;
    default: return eSifNotASif;
  }
}

const char* HeaderFaultReason(HeaderFault fault) {
  switch (fault) {
    case HeaderFault::kNone: return "no fault";
    case HeaderFault::kTooShort: return "the file is shorter than its header";
    case HeaderFault::kMagic: return "the header does not start with the spatial index's magic word";
    case HeaderFault::kVersion: return "the format version is newer than this library reads";
    case HeaderFault::kCapacity: return "the header's node capacities are out of range";
    case HeaderFault::kCoordinateBits: return "the header's precision is neither 32 nor 64 bits";
    case HeaderFault::kDescription: return "the header's description runs past the header";
    default: return "the header's tree height and root do not agree";
  }
}

void EncodeHeader(const SifHeader& header, unsigned char* bytes) {
  std::memset(bytes, 0, kIndexHeaderSize);
  CIndexFile::PutUInt(kMagic, 32, bytes + kMagicOffset);
  CIndexFile::PutUInt(header.version, 16, bytes + kVersionOffset);
  CIndexFile::PutUInt(header.minEntries, 16, bytes + kMinimumOffset);
  CIndexFile::PutUInt(header.maxEntries, 16, bytes + kMaximumOffset);
  CIndexFile::PutUInt(header.height, 16, bytes + kHeightOffset);
  CIndexFile::PutUInt(header.coordinateBits, 16, bytes + kCoordinateBitsOffset);
  CIndexFile::PutUInt(header.rootPosition, 32, bytes + kRootOffset);
  CIndexFile::PutUInt(header.freeInternalHead, 32, bytes + kFreeInternalOffset);
  CIndexFile::PutUInt(header.freeLeafHead, 32, bytes + kFreeLeafOffset);
  CIndexFile::PutUInt(header.objectCount, 32, bytes + kObjectCountOffset);
  CIndexFile::PutString(header.description, bytes + kDescriptionOffset);
}

size_t FirstPaddingByteSet(const unsigned char* bytes) {
  const size_t end = DescriptionEnd(bytes, kDescriptionOffset);
  return end + FirstNonZeroByte(bytes + end, kIndexHeaderSize - end);
}

}  // namespace kro::sif
