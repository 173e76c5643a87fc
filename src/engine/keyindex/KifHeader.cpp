#include "engine/keyindex/KifHeader.h"

#include <cstring>

#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBytes.h"

namespace kro {

using namespace kif;

void KifHeader::SetShape(uint32_t newCapacity, uint32_t newKeyLength) {
  capacity = newCapacity;
  minimum = newCapacity / 2;
  keyLength = newKeyLength;
  internalBlockSize = InternalBlockSize(capacity, keyLength);
  leafBlockSize = LeafBlockSize(capacity, keyLength);
  blockGrain = CIndexFile::GreatestCommonDivisor(internalBlockSize, leafBlockSize);
}

void KifHeader::Encode(unsigned char* bytes) const {
  std::memset(bytes, 0, kHeaderSize);
  CIndexFile::PutUInt(kMagic, 32, bytes + kMagicOffset);
  CIndexFile::PutUInt(version, 16, bytes + kVersionOffset);
  CIndexFile::PutUInt(capacity, 16, bytes + kCapacityOffset);
  CIndexFile::PutUInt(keyLength, 16, bytes + kKeyLengthOffset);
  CIndexFile::PutUInt(height, 16, bytes + kHeightOffset);
  CIndexFile::PutUInt(rootPosition, 32, bytes + kRootOffset);
  CIndexFile::PutUInt(freeInternal, 32, bytes + kFreeInternalOffset);
  CIndexFile::PutUInt(freeLeaf, 32, bytes + kFreeLeafOffset);
  CIndexFile::PutUInt(entryCount, 32, bytes + kEntryCountOffset);
  CIndexFile::PutString(description, bytes + kDescriptionOffset);
}

kif::HeaderFault KifHeader::DecodeFields(const unsigned char* bytes, size_t available, KifHeader& header) {
  if (available < kHeaderSize) return HeaderFault::kTooShort;
  header.version = CIndexFile::GetUInt(bytes + kVersionOffset, 16);
  header.capacity = CIndexFile::GetUInt(bytes + kCapacityOffset, 16);
  header.keyLength = CIndexFile::GetUInt(bytes + kKeyLengthOffset, 16);
  header.height = CIndexFile::GetUInt(bytes + kHeightOffset, 16);
  header.rootPosition = CIndexFile::GetUInt(bytes + kRootOffset, 32);
  header.freeInternal = CIndexFile::GetUInt(bytes + kFreeInternalOffset, 32);
  header.freeLeaf = CIndexFile::GetUInt(bytes + kFreeLeafOffset, 32);
  header.entryCount = CIndexFile::GetUInt(bytes + kEntryCountOffset, 32);
  const bool described =
      CIndexFile::GetString(bytes + kDescriptionOffset, kHeaderSize - kDescriptionOffset, header.description);
  if (CIndexFile::GetUInt(bytes + kMagicOffset, 32) != kMagic) return HeaderFault::kMagic;
  if (header.version > kVersion) return HeaderFault::kVersion;
  if (header.capacity < kMinCapacity || header.capacity > kMaxCapacity) return HeaderFault::kCapacity;
  if (header.keyLength < kMinKeyLength || header.keyLength > kMaxKeyLength) return HeaderFault::kKeyLength;
  header.SetShape(header.capacity, header.keyLength);
  if (!IsWalkableTreeShape(header.height, header.rootPosition, kMaxHeight)) return HeaderFault::kTreeShape;
  if (!described) return HeaderFault::kDescription;
  return HeaderFault::kNone;
}

size_t KifHeader::FirstPaddingByteSet(const unsigned char* bytes) {
  const size_t end = DescriptionEnd(bytes, kDescriptionOffset);
  return end + FirstNonZeroByte(bytes + end, kHeaderSize - end);
}

namespace kif {

EngineStatus HeaderFaultStatus(HeaderFault fault) {
  switch (fault) {
    case HeaderFault::kNone: return kEngineOk;
    case HeaderFault::kTooShort: return eKifReadError;
    case HeaderFault::kVersion: return eKifBadVersion;
    default: return eKifNotAKif;
  }
}

const char* HeaderFaultReason(HeaderFault fault) {
  switch (fault) {
    case HeaderFault::kNone: return "no fault";
    case HeaderFault::kTooShort: return "the file is shorter than its header";
    case HeaderFault::kMagic: return "the header does not start with the key index's magic word";
    case HeaderFault::kVersion: return "the format version is newer than this library reads";
    case HeaderFault::kCapacity: return "the header's node capacity is out of range";
    case HeaderFault::kKeyLength: return "the header's key length is out of range";
    case HeaderFault::kDescription: return "the header's description runs past the header";
    default: return "the header's tree height and root do not agree";
  }
}

}  // namespace kif

}  // namespace kro
