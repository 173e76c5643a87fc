// Header and node blocks, block places and free lists, and the checked way
// into the node cache.
#include <cstring>

#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifBlock.h"
#include "platform/MultiByte.h"

namespace kro {

using namespace kif;

EngineStatus CKeyIndex::ReadHeader() {
  unsigned char bytes[kHeaderSize];
  if (!SeekTo(Handle(), 0) || !RawFile().Read(Handle(), bytes, kHeaderSize)) {
    return Fail(eKifReadError, 0, "the header cannot be read");
  }
  KifHeader read;
  const HeaderFault fault = KifHeader::DecodeFields(bytes, sizeof bytes, read);
  if (fault != HeaderFault::kNone) return Fail(HeaderFaultStatus(fault), 0, HeaderFaultReason(fault));
  header_ = read;
  return kEngineOk;
}

EngineStatus CKeyIndex::WriteHeader(FileHandle file) {
  if (!SeekTo(file, 0)) return Fail(eKifReadError, 0, "the file cannot be positioned at its header");
  unsigned char bytes[kHeaderSize];
  header_.Encode(bytes);
  return RawFile().Write(file, bytes, kHeaderSize) ? kEngineOk
                                                      : Fail(eKifWriteError, 0, "the header cannot be written");
}

EngineStatus CKeyIndex::ReadNode(uint32_t position, uint32_t level, KifNode& node) {
  const uint32_t capacity = header_.capacity;
  const uint32_t keyLength = header_.keyLength;
  const uint32_t size = header_.BlockSize(level);
  if (!IsValidPosition(position, size)) {
    return Fail(eKifReadError, position, "a node position is no block place of the file");
  }
  unsigned char scratch[kMaxBlockSize];
  const unsigned char* block = nullptr;
  const BlockIo io = ViewBlock(position, size, scratch, block);
  if (io == BlockIo::kWriteFailed) return Fail(eKifWriteError, position, "cached nodes cannot be written");
  if (io != BlockIo::kOk) return Fail(eKifReadError, position, "a node cannot be read");

  BlockView view;
  if (!view.Bind(block, size, capacity, keyLength, level == 0)) {
    return Fail(eKifReadError, position, "a node's entries do not decode");
  }

  // A field of exactly L bytes has no terminator; give the bounded copy one.
  char field[kMaxKeyLength + 1];
  node.count = 0;
  for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
    if (slot >= capacity) {
      ClearEntry(node, slot, keyLength);
      continue;
    }
    std::memcpy(field, view.KeyField(slot), keyLength);
    field[keyLength] = '\0';
    MbCopyField(node.keys[slot], field, keyLength);
    node.values[slot] = view.Value(slot);
    if (node.values[slot] != 0) ++node.count;
  }
  if (!HasUsedSlotsInFront(node)) return Fail(eKifReadError, position, "a node has an empty entry among its used ones");
  for (uint32_t child = 0; child < kChildCount; ++child) {
    node.children[child] = child <= capacity ? view.Child(child) : 0;
  }
  node.position = position;
  node.level = level;
  node.stamp = 0;
  node.cursor = 0;
  node.dirty = false;
  return kEngineOk;
}

void CKeyIndex::EncodeNode(const KifNode& node, unsigned char* block) const {
  const uint32_t capacity = header_.capacity;
  const uint32_t keyLength = header_.keyLength;
  std::memset(block, 0, header_.BlockSize(node.level));
  const uint32_t used = node.count < capacity ? node.count : capacity;
  for (uint32_t slot = 0; slot < used; ++slot) {
    PutEntry(block, capacity, keyLength, slot, node.keys[slot], keyLength, node.values[slot]);
  }
  if (node.level != 0) {
    for (uint32_t child = 0; child <= used; ++child) PutChild(block, capacity, keyLength, child, node.children[child]);
  }
}

EngineStatus CKeyIndex::WriteNode(FileHandle file, const KifNode& node) {
  if (!SeekTo(file, node.position)) {
    return Fail(eKifReadError, node.position, "the file cannot be positioned at a node");
  }
  unsigned char block[kMaxBlockSize];
  EncodeNode(node, block);
  return RawFile().Write(file, block, header_.BlockSize(node.level))
             ? kEngineOk
             : Fail(eKifWriteError, node.position, "a node cannot be written");
}

EngineStatus CKeyIndex::WriteNodeBack(const KifNode& node) {
  unsigned char block[kMaxBlockSize];
  EncodeNode(node, block);
  if (WriteBlock(node.position, block, header_.BlockSize(node.level)) == BlockIo::kOk) return kEngineOk;
  return Fail(eKifWriteError, node.position, "a node cannot be written");
}

EngineStatus CKeyIndex::AllocateBlock(uint32_t level, KifNode& node) {
  uint32_t position = 0;
  // A file that does not end on a block place (cut short in the middle of a
  // block) would put the new block where no reader looks for one: refused.
  const BlockIo io = TakeBlock(header_.FreeHead(level), FreeList(level), header_.BlockSize(level), false, position);
  if (io == BlockIo::kReadFailed) {
    return Fail(eKifReadError, header_.FreeHead(level), "the free-block list cannot be followed");
  }
  if (io != BlockIo::kOk) return Fail(eKifWriteError, FileSize(), "the file cannot be extended by a block");
  node.position = position;
  return kEngineOk;
}

EngineStatus CKeyIndex::FreeNode(KifNode& node) {
  if (!ReleaseBlock(header_.FreeHead(node.level), FreeList(node.level), node.position)) {
    return Fail(eKifWriteError, node.position, "a freed node cannot be written");
  }
  // The buffer is emptied; its pins belong to the handles that hold it.
  const int32_t pins = node.pinCount;
  static_cast<CachedNodeState&>(node) = CachedNodeState{};
  node.pinCount = pins;
  return kEngineOk;
}

uint32_t CKeyIndex::BlockGrain() const { return header_.blockGrain; }

EngineStatus CKeyIndex::CountFreeBlocks(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims& claims) {
  return CountFreeList(head, blockSize, count, &claims)
             ? kEngineOk
             : Fail(eKifReadError, head, "the free-block list is damaged or runs in a loop");
}

void CKeyIndex::ResetFreeLists() {
  freeLists_[0] = FreeListState{header_.freeLeaf == 0, 0};
  freeLists_[1] = FreeListState{header_.freeInternal == 0, 0};
}

CKeyIndex::Pin CKeyIndex::Fetch(uint32_t position, uint32_t level, EngineStatus& status) {
  KifNode* node = cache_->FetchNode(position, level, status);
  if (node != nullptr && node->level != level) {
    status = Fail(eKifReadError, position, "a node lies at another level of the tree than its parent says");
    node = nullptr;
  }
  return Pin(node);
}

CKeyIndex::Pin CKeyIndex::FetchSibling(const KifNode& parent, uint32_t childSlot, const KifNode& node,
                                       EngineStatus& status) {
  Pin sibling = Fetch(parent.children[childSlot], node.level, status);
  if (sibling.get() == &node) {
    // Two children of one parent share a block: the tree is damaged.
    status = Fail(eKifReadError, node.position, "two children of one node share a block");
    sibling.Reset(nullptr);
  }
  return sibling;
}

EngineStatus CKeyIndex::Push(uint32_t position, uint32_t level, bool fromCache) {
  const EngineStatus status = cache_->PushNode(position, level, fromCache);
  if (status != kEngineOk) return status;
  if (cache_->TopNode()->level != level) {
    cache_->PopNode();
    return Fail(eKifReadError, position, "a node lies at another level of the tree than its parent says");
  }
  return kEngineOk;
}

}  // namespace kro
