// Header and node blocks: encoding, decoding, allocation and free lists.
#include <array>
#include <cstring>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {
namespace {

using HeaderBytes = std::array<unsigned char, kIndexHeaderSize>;
using BlockBytes = std::array<unsigned char, sif::kMaxBlockSize>;

// Whether the decoded header describes a tree this engine can hold in its
// buffers and walk with its 30-slot path stack.
bool IsUsableHeader(const SifHeader& h) {
  return h.maxEntries >= sif::kMinMaxEntries && h.maxEntries <= sif::kMaxSlots && h.minEntries >= 1 &&
         h.minEntries <= h.maxEntries && sif::IsValidCoordinateBits(h.coordinateBits) &&
         h.height <= sif::kMaxHeight && (h.height == 0) == (h.rootPosition == 0);
}

}  // namespace

EngineStatus CSpatialIndex::ReadHeader() {
  HeaderBytes bytes{};
  if (!SeekTo(Handle(), 0) || !CGafRawFile::Read(Handle(), bytes.data(), kIndexHeaderSize)) return eSifReadError;
  const unsigned char* in = bytes.data();
  if (GetUInt(in + sif::kMagicOffset, 32) != sif::kMagic) return eSifNotASif;

  SifHeader read;
  read.version = GetUInt(in + sif::kVersionOffset, 16);
  if (read.version > sif::kCurrentVersion) return eSifBadVersion;
  read.minEntries = GetUInt(in + sif::kMinimumOffset, 16);
  read.maxEntries = GetUInt(in + sif::kMaximumOffset, 16);
  read.height = GetUInt(in + sif::kHeightOffset, 16);
  read.coordinateBits = GetUInt(in + sif::kCoordinateBitsOffset, 16);
  read.rootPosition = GetUInt(in + sif::kRootOffset, 32);
  read.freeInternalHead = GetUInt(in + sif::kFreeInternalOffset, 32);
  read.freeLeafHead = GetUInt(in + sif::kFreeLeafOffset, 32);
  read.objectCount = GetUInt(in + sif::kObjectCountOffset, 32);
  if (!GetString(in + sif::kDescriptionOffset, kIndexHeaderSize - sif::kDescriptionOffset, read.description) ||
      !IsUsableHeader(read)) {
    return eSifNotASif;
  }
  read.ComputeBlockSizes();
  header_ = read;
  return kEngineOk;
}

EngineStatus CSpatialIndex::WriteHeader(FileHandle file) {
  HeaderBytes bytes{};
  unsigned char* out = bytes.data();
  PutUInt(sif::kMagic, 32, out + sif::kMagicOffset);
  PutUInt(0, 16, out + sif::kReservedOffset);
  PutUInt(header_.version, 16, out + sif::kVersionOffset);
  PutUInt(header_.minEntries, 16, out + sif::kMinimumOffset);
  PutUInt(header_.maxEntries, 16, out + sif::kMaximumOffset);
  PutUInt(header_.height, 16, out + sif::kHeightOffset);
  PutUInt(header_.coordinateBits, 16, out + sif::kCoordinateBitsOffset);
  PutUInt(header_.rootPosition, 32, out + sif::kRootOffset);
  PutUInt(header_.freeInternalHead, 32, out + sif::kFreeInternalOffset);
  PutUInt(header_.freeLeafHead, 32, out + sif::kFreeLeafOffset);
  PutUInt(header_.objectCount, 32, out + sif::kObjectCountOffset);
  PutString(header_.description, out + sif::kDescriptionOffset);
  if (!SeekTo(file, 0) || !CGafRawFile::Write(file, out, kIndexHeaderSize)) return eSifWriteError;
  return kEngineOk;
}

EngineStatus CSpatialIndex::ReadNode(uint32_t position, uint32_t level, SifNode& node) {
  const uint32_t size = header_.BlockSize(level);
  if (!IsBlockPlace(position, size)) return eSifReadError;
  BlockBytes scratch;
  const unsigned char* block = nullptr;
  const BlockIo io = ViewBlock(position, size, scratch.data(), block);
  if (io != BlockIo::kOk) return io == BlockIo::kWriteFailed ? eSifWriteError : eSifReadError;

  const uint32_t maximum = header_.maxEntries;
  const uint32_t coordinateBytes = header_.coordinateBits / 8;
  node = SifNode{};
  // The used slots are the non-zero child fields in slot order; a block
  // written by this engine has them all in front.
  for (uint32_t slot = 0; slot < maximum; ++slot) {
    const uint32_t childField = GetUInt(block + sif::ChildFieldOffset(slot), 32);
    if (childField == 0) continue;
    node.child[node.count] = childField;
    node.box[node.count] = SlotBox(block, slot);
    if (level == 0) node.type[node.count] = GetUInt(block + sif::TypeOffset(maximum, coordinateBytes, slot), 16);
    ++node.count;
  }
  node.position = position;
  node.level = level;
  return kEngineOk;
}

void CSpatialIndex::EncodeNode(const SifNode& node, unsigned char* bytes) const {
  const uint32_t maximum = header_.maxEntries;
  const uint32_t coordinateBytes = header_.coordinateBits / 8;
  const int bits = static_cast<int>(header_.coordinateBits);
  std::memset(bytes, 0, header_.BlockSize(node.level));
  const uint32_t used = node.count < maximum ? node.count : maximum;
  for (uint32_t slot = 0; slot < used; ++slot) {
    PutUInt(node.child[slot], 32, bytes + sif::ChildFieldOffset(slot));
    unsigned char* box = bytes + sif::BoxOffset(maximum, coordinateBytes, slot);
    PutReal(node.box[slot].xMin, bits, box);
    PutReal(node.box[slot].yMin, bits, box + coordinateBytes);
    PutReal(node.box[slot].xMax, bits, box + 2 * coordinateBytes);
    PutReal(node.box[slot].yMax, bits, box + 3 * coordinateBytes);
    if (node.IsLeaf()) PutUInt(node.type[slot], 16, bytes + sif::TypeOffset(maximum, coordinateBytes, slot));
  }
}

EngineStatus CSpatialIndex::WriteNode(FileHandle file, const SifNode& node) {
  BlockBytes bytes;
  EncodeNode(node, bytes.data());
  const uint32_t size = header_.BlockSize(node.level);
  if (!SeekTo(file, node.position) || !CGafRawFile::Write(file, bytes.data(), size)) return eSifWriteError;
  return kEngineOk;
}

EngineStatus CSpatialIndex::WriteNodeBack(const SifNode& node) {
  BlockBytes bytes;
  EncodeNode(node, bytes.data());
  const BlockIo io = WriteBlock(node.position, bytes.data(), header_.BlockSize(node.level));
  return io == BlockIo::kOk ? kEngineOk : eSifWriteError;
}

EngineStatus CSpatialIndex::AllocateBlock(uint32_t level, SifNode& node) {
  uint32_t position = 0;
  const BlockIo io = TakeBlock(FreeListHead(level), freeLists_[level == 0 ? 1 : 0], header_.BlockSize(level),
                               true, position);
  if (io != BlockIo::kOk) return io == BlockIo::kReadFailed ? eSifReadError : eSifWriteError;
  node.position = position;
  return kEngineOk;
}

EngineStatus CSpatialIndex::FreeNode(SifNode& node) {
  if (!ReleaseBlock(FreeListHead(node.level), freeLists_[node.level == 0 ? 1 : 0], node.position)) {
    return eSifWriteError;
  }
  // The buffer no longer holds a node; its holder's pin stays.
  const int32_t pins = node.pinCount;
  static_cast<CachedNodeState&>(node) = CachedNodeState{};
  node.pinCount = pins;
  return kEngineOk;
}

EngineStatus CSpatialIndex::WalkFreeList(uint32_t head, uint32_t blockSize, uint32_t& count) {
  return CountFreeList(head, blockSize, count) ? kEngineOk : eSifReadError;
}

uint32_t& CSpatialIndex::FreeListHead(uint32_t level) {
  return level == 0 ? header_.freeLeafHead : header_.freeInternalHead;
}

uint32_t CSpatialIndex::BlockGrain() const { return header_.blockGrain; }

}  // namespace kro
