#include "engine/keyindex/KifHeader.h"

#include <cstring>

#include "engine/indexfile/CIndexFile.h"

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

EngineStatus KifHeader::Decode(const unsigned char* bytes, KifHeader& header) {
  if (CIndexFile::GetUInt(bytes + kMagicOffset, 32) != kMagic) return eKifNotAKif;
  KifHeader read;
  read.version = CIndexFile::GetUInt(bytes + kVersionOffset, 16);
  if (read.version > kVersion) return eKifBadVersion;
  const uint32_t capacity = CIndexFile::GetUInt(bytes + kCapacityOffset, 16);
  const uint32_t keyLength = CIndexFile::GetUInt(bytes + kKeyLengthOffset, 16);
  if (capacity < kMinCapacity || capacity > kMaxCapacity) return eKifNotAKif;
  if (keyLength < kMinKeyLength || keyLength > kMaxKeyLength) return eKifNotAKif;
  read.SetShape(capacity, keyLength);
  read.height = CIndexFile::GetUInt(bytes + kHeightOffset, 16);
  read.rootPosition = CIndexFile::GetUInt(bytes + kRootOffset, 32);
  if (read.height > kMaxHeight || (read.height == 0) != (read.rootPosition == 0)) return eKifNotAKif;
  read.freeInternal = CIndexFile::GetUInt(bytes + kFreeInternalOffset, 32);
  read.freeLeaf = CIndexFile::GetUInt(bytes + kFreeLeafOffset, 32);
  read.entryCount = CIndexFile::GetUInt(bytes + kEntryCountOffset, 32);
  if (!CIndexFile::GetString(bytes + kDescriptionOffset, kHeaderSize - kDescriptionOffset, read.description)) {
    return eKifNotAKif;
  }
  header = read;
  return kEngineOk;
}

}  // namespace kro
