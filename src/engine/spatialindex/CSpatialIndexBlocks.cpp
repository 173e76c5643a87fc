// Header and node blocks: encoding, decoding, allocation and free lists.
#include <array>
#include <cstring>

#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/spatialindex/SifHeaderCodec.h"

namespace kro {
namespace {

using HeaderBytes = std::array<unsigned char, kIndexHeaderSize>;
using BlockBytes = std::array<unsigned char, sif::kMaxBlockSize>;

}  // namespace

EngineStatus CSpatialIndex::ReadHeader() {
  HeaderBytes bytes{};
  if (!SeekTo(Handle(), 0) || !RawFile().Read(Handle(), bytes.data(), kIndexHeaderSize)) {
    return Fail(eSifReadError, 0, "the header cannot be read");
  }
  SifHeader read;
  const sif::HeaderFault fault = sif::DecodeHeader(bytes.data(), bytes.size(), read);
  if (fault != sif::HeaderFault::kNone) return Fail(sif::HeaderFaultStatus(fault), 0, sif::HeaderFaultReason(fault));
  header_ = read;
  return kEngineOk;
}

EngineStatus CSpatialIndex::WriteHeader(FileHandle file) {
  HeaderBytes bytes{};
  sif::EncodeHeader(header_, bytes.data());
  if (!SeekTo(file, 0) || !RawFile().Write(file, bytes.data(), kIndexHeaderSize)) {
    return Fail(eSifWriteError, 0, "the header cannot be written");
  }
  return kEngineOk;
}

bool CSpatialIndex::BindBlock(const unsigned char* bytes, uint32_t level, sif::BlockView& view) const {
  return view.Bind(bytes, header_.BlockSize(level), header_.maxEntries, header_.coordinateBits, level == 0);
}

EngineStatus CSpatialIndex::ReadNode(uint32_t position, uint32_t level, SifNode& node) {
  const uint32_t size = header_.BlockSize(level);
  if (!IsBlockPlace(position, size)) {
    return Fail(eSifReadError, position, "a node position is no block place of the file");
  }
  BlockBytes scratch;
  const unsigned char* block = nullptr;
  const BlockIo io = ViewBlock(position, size, scratch.data(), block);
  if (io == BlockIo::kWriteFailed) return Fail(eSifWriteError, position, "cached nodes cannot be written");
  if (io != BlockIo::kOk) return Fail(eSifReadError, position, "a node cannot be read");
  sif::BlockView view;
  if (!BindBlock(block, level, view)) return Fail(eSifReadError, position, "a node's entries do not decode");

  node = SifNode{};
  // The used slots are the non-zero child fields in slot order; a block
  // written by this engine has them all in front.
  for (uint32_t slot = 0; slot < view.Slots(); ++slot) {
    const uint32_t childField = view.Child(slot);
    if (childField == 0) continue;
    node.child[node.count] = childField;
    node.box[node.count] = view.Box(slot);
    node.type[node.count] = view.Type(slot);
    ++node.count;
  }
  node.position = position;
  node.level = level;
  return kEngineOk;
}

void CSpatialIndex::EncodeNode(const SifNode& node, unsigned char* bytes) const {
  const uint32_t maximum = header_.maxEntries;
  std::memset(bytes, 0, header_.BlockSize(node.level));
  const uint32_t used = node.count < maximum ? node.count : maximum;
  for (uint32_t slot = 0; slot < used; ++slot) {
    sif::EncodeSlot(bytes, maximum, header_.coordinateBits, node.IsLeaf(), slot, node.child[slot], node.box[slot],
                    node.type[slot]);
  }
}

EngineStatus CSpatialIndex::WriteNode(FileHandle file, const SifNode& node) {
  BlockBytes bytes;
  EncodeNode(node, bytes.data());
  const uint32_t size = header_.BlockSize(node.level);
  if (!SeekTo(file, node.position) || !RawFile().Write(file, bytes.data(), size)) {
    return Fail(eSifWriteError, node.position, "a node cannot be written");
  }
  return kEngineOk;
}

EngineStatus CSpatialIndex::WriteNodeBack(const SifNode& node) {
  BlockBytes bytes;
  EncodeNode(node, bytes.data());
  const BlockIo io = WriteBlock(node.position, bytes.data(), header_.BlockSize(node.level));
  return io == BlockIo::kOk ? kEngineOk : Fail(eSifWriteError, node.position, "a node cannot be written");
}

EngineStatus CSpatialIndex::AllocateBlock(uint32_t level, SifNode& node) {
  uint32_t position = 0;
  const BlockIo io = TakeBlock(FreeListHead(level), freeLists_[level == 0 ? 1 : 0], header_.BlockSize(level),
                               true, position);
  if (io == BlockIo::kReadFailed) {
    return Fail(eSifReadError, FreeListHead(level), "the free-block list cannot be followed");
  }
  if (io != BlockIo::kOk) return Fail(eSifWriteError, FileSize(), "the file cannot be extended by a block");
  node.position = position;
  return kEngineOk;
}

EngineStatus CSpatialIndex::FreeNode(SifNode& node) {
  if (!ReleaseBlock(FreeListHead(node.level), freeLists_[node.level == 0 ? 1 : 0], node.position)) {
    return Fail(eSifWriteError, node.position, "a freed node cannot be written");
  }
  // The buffer no longer holds a node; its holder's pin stays.
  const int32_t pins = node.pinCount;
  static_cast<CachedNodeState&>(node) = CachedNodeState{};
  node.pinCount = pins;
  return kEngineOk;
}

EngineStatus CSpatialIndex::WalkFreeList(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims& claims) {
  return CountFreeList(head, blockSize, count, &claims)
             ? kEngineOk
             : Fail(eSifReadError, head, "the free-block list is damaged or runs in a loop");
}

uint32_t& CSpatialIndex::FreeListHead(uint32_t level) {
  return level == 0 ? header_.freeLeafHead : header_.freeInternalHead;
}

uint32_t CSpatialIndex::BlockGrain() const { return header_.blockGrain; }

}  // namespace kro
