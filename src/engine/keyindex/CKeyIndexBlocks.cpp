// Header and node blocks, block places and free lists, and the checked way
// into the node cache.
#include <cstring>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "platform/MultiByte.h"

namespace kro {

using namespace kif;

namespace {

bool SeekTo(FileHandle file, uint32_t position) {
  return position <= kMaxFileOffset &&
         CGafRawFile::Seek(file, static_cast<int32_t>(position), SeekOrigin::kBegin);
}

}  // namespace

EngineStatus CKeyIndex::ReadHeader() {
  unsigned char bytes[kHeaderSize];
  if (!SeekTo(Handle(), 0) || !CGafRawFile::Read(Handle(), bytes, kHeaderSize)) return eKifReadError;
  return KifHeader::Decode(bytes, header_);
}

EngineStatus CKeyIndex::WriteHeader(FileHandle file) {
  if (!SeekTo(file, 0)) return eKifReadError;
  unsigned char bytes[kHeaderSize];
  header_.Encode(bytes);
  return CGafRawFile::Write(file, bytes, kHeaderSize) ? kEngineOk : eKifWriteError;
}

EngineStatus CKeyIndex::ReadNode(uint32_t position, uint32_t level, KifNode& node) {
  const uint32_t capacity = header_.capacity;
  const uint32_t keyLength = header_.keyLength;
  const uint32_t size = header_.BlockSize(level);
  if (!IsValidPosition(position, size)) return eKifReadError;
  unsigned char block[kMaxBlockSize];
  if (!SeekTo(Handle(), position) || !CGafRawFile::Read(Handle(), block, size)) return eKifReadError;

  // A field of exactly L bytes has no terminator; give the bounded copy one.
  char field[kMaxKeyLength + 1];
  node.count = 0;
  for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
    if (slot >= capacity) {
      ClearEntry(node, slot);
      continue;
    }
    std::memcpy(field, block + KeyOffset(slot, keyLength), keyLength);
    field[keyLength] = '\0';
    MbCopyField(node.keys[slot], field, keyLength);
    node.values[slot] = CIndexFile::GetUInt(block + ValueOffset(slot, capacity, keyLength), 32);
    if (node.values[slot] != 0) ++node.count;
  }
  if (!HasUsedSlotsInFront(node)) return eKifReadError;
  for (uint32_t child = 0; child < kChildCount; ++child) {
    const bool stored = level != 0 && child <= capacity;
    node.children[child] = stored ? CIndexFile::GetUInt(block + ChildOffset(child, capacity, keyLength), 32) : 0;
  }
  node.position = position;
  node.level = level;
  node.stamp = 0;
  node.cursor = 0;
  node.dirty = false;
  return kEngineOk;
}

EngineStatus CKeyIndex::WriteNode(FileHandle file, const KifNode& node) {
  const uint32_t capacity = header_.capacity;
  const uint32_t keyLength = header_.keyLength;
  const uint32_t size = header_.BlockSize(node.level);
  if (!SeekTo(file, node.position)) return eKifReadError;
  unsigned char block[kMaxBlockSize];
  std::memset(block, 0, size);
  const uint32_t used = node.count < capacity ? node.count : capacity;
  for (uint32_t slot = 0; slot < used; ++slot) {
    std::memcpy(block + KeyOffset(slot, keyLength), node.keys[slot], keyLength);
    CIndexFile::PutUInt(node.values[slot], 32, block + ValueOffset(slot, capacity, keyLength));
  }
  if (node.level != 0) {
    for (uint32_t child = 0; child <= used; ++child) {
      CIndexFile::PutUInt(node.children[child], 32, block + ChildOffset(child, capacity, keyLength));
    }
  }
  return CGafRawFile::Write(file, block, size) ? kEngineOk : eKifWriteError;
}

EngineStatus CKeyIndex::WriteNodeBack(const KifNode& node) { return WriteNode(Handle(), node); }

EngineStatus CKeyIndex::AllocateBlock(uint32_t level, KifNode& node) {
  const uint32_t size = header_.BlockSize(level);
  uint32_t& head = header_.FreeHead(level);
  if (head != 0) {
    FreeListState& list = FreeList(level);
    if (!list.walked) {
      const EngineStatus status = CountFreeBlocks(head, size, list.length);
      if (status != kEngineOk) return status;
      list.walked = true;
    }
    unsigned char next[4];
    // Each link is checked as it is taken: a block that is both free and in
    // the tree (a damaged file) must not hand out a place off the grid.
    if (list.length == 0 || !IsValidPosition(head, size) || !SeekTo(Handle(), head) ||
        !CGafRawFile::Read(Handle(), next, sizeof next)) {
      return eKifReadError;
    }
    node.position = head;
    head = CIndexFile::GetUInt(next, 32);
    --list.length;
    return kEngineOk;
  }
  uint32_t end = 0;
  if (!CGafRawFile::Seek(Handle(), 0, SeekOrigin::kEnd) || !CGafRawFile::Tell(Handle(), end)) return eKifWriteError;
  // A file that does not end on a block place (cut short in the middle of a
  // block) would put the new block where no reader looks for one.
  if (end < kHeaderSize || (end - kHeaderSize) % BlockGrain() != 0) return eKifWriteError;
  unsigned char zeros[kMaxBlockSize] = {};
  if (!CGafRawFile::Write(Handle(), zeros, size)) return eKifWriteError;
  node.position = end;
  fileSize_ = end + size;
  return kEngineOk;
}

EngineStatus CKeyIndex::FreeNode(KifNode& node) {
  uint32_t& head = header_.FreeHead(node.level);
  unsigned char next[4];
  CIndexFile::PutUInt(head, 32, next);
  if (!SeekTo(Handle(), node.position)) return eKifWriteError;
  if (!CGafRawFile::Write(Handle(), next, sizeof next)) return eKifWriteError;
  head = node.position;
  FreeListState& list = FreeList(node.level);
  if (list.walked) ++list.length;
  // The buffer is emptied; its pins belong to the handles that hold it.
  const int32_t pins = node.pinCount;
  static_cast<CachedNodeState&>(node) = CachedNodeState{};
  node.pinCount = pins;
  return kEngineOk;
}

uint32_t CKeyIndex::BlockGrain() const {
  return GreatestCommonDivisor(header_.internalBlockSize, header_.leafBlockSize);
}

// The file grows only by whole blocks from offset 512, so every block starts
// on a multiple of the greatest common divisor of the two block sizes.
bool CKeyIndex::IsValidPosition(uint32_t position, uint32_t blockSize) const {
  return position >= kHeaderSize && position <= fileSize_ && blockSize <= fileSize_ - position &&
         (position - kHeaderSize) % BlockGrain() == 0;
}

EngineStatus CKeyIndex::CountFreeBlocks(uint32_t head, uint32_t blockSize, uint32_t& count) {
  count = 0;
  // No list of distinct blocks is longer than the blocks the file can hold.
  const uint32_t places = fileSize_ > kHeaderSize ? (fileSize_ - kHeaderSize) / blockSize : 0;
  for (uint32_t position = head; position != 0; ++count) {
    unsigned char next[4];
    if (count >= places || !IsValidPosition(position, blockSize) || !SeekTo(Handle(), position) ||
        !CGafRawFile::Read(Handle(), next, sizeof next)) {
      return eKifReadError;
    }
    position = CIndexFile::GetUInt(next, 32);
  }
  return kEngineOk;
}

void CKeyIndex::ResetFreeLists() {
  freeLists_[0] = FreeListState{header_.freeLeaf == 0, 0};
  freeLists_[1] = FreeListState{header_.freeInternal == 0, 0};
}

CKeyIndex::Pin CKeyIndex::Fetch(uint32_t position, uint32_t level, EngineStatus& status) {
  KifNode* node = cache_->FetchNode(position, level, status);
  if (node != nullptr && node->level != level) {
    status = eKifReadError;
    node = nullptr;
  }
  return Pin(node);
}

CKeyIndex::Pin CKeyIndex::FetchSibling(const KifNode& parent, uint32_t childSlot, const KifNode& node,
                                       EngineStatus& status) {
  Pin sibling = Fetch(parent.children[childSlot], node.level, status);
  if (sibling.get() == &node) {
    // Two children of one parent share a block: the tree is damaged.
    status = eKifReadError;
    sibling.Reset(nullptr);
  }
  return sibling;
}

EngineStatus CKeyIndex::Push(uint32_t position, uint32_t level, bool fromCache) {
  const EngineStatus status = cache_->PushNode(position, level, fromCache);
  if (status != kEngineOk) return status;
  if (cache_->TopNode()->level != level) {
    cache_->PopNode();
    return eKifReadError;
  }
  return kEngineOk;
}

}  // namespace kro
