#include "engine/keyindex/KifBulkLoader.h"

#include <algorithm>
#include <cstring>

#include "engine/keyindex/KifBlock.h"
#include "platform/MultiByte.h"

namespace kro {

using namespace kif;

namespace {

size_t KeyBytes(const char* key, size_t length) { return key == nullptr ? 0 : BoundedLength(key, length); }

}  // namespace

bool KifEntryPrecedes(const char* keyA, size_t lengthA, uint32_t positionA, const char* keyB, size_t lengthB,
                      uint32_t positionB) {
  const size_t bytesA = KeyBytes(keyA, lengthA);
  const size_t bytesB = KeyBytes(keyB, lengthB);
  const size_t common = std::min(bytesA, bytesB);
  const int order = common == 0 ? 0 : std::memcmp(keyA, keyB, common);
  if (order != 0) return order < 0;
  if (bytesA != bytesB) return bytesA < bytesB;
  return positionA < positionB;
}

KifBulkLoader::KifBulkLoader(const CGafRawFile& files, FileHandle file, uint64_t count, uint32_t capacity,
                             uint32_t keyLength)
    // A capacity out of range is refused below; the shape is only made with
    // one it can take.
    : shape_(count, std::clamp(capacity, kMinCapacity, kMaxCapacity)),
      writer_(files, file, kMaxBlockSize),
      expected_(count) {
  if (!IsLoadable(shape_, capacity, keyLength)) {
    status_ = eKifInvalidParameter;
    return;
  }
  header_.SetShape(capacity, keyLength);
  open_.resize(shape_.Height());
  for (uint32_t level = 0; level < shape_.Height(); ++level) open_[level].block.assign(header_.BlockSize(level), 0);
}

bool KifBulkLoader::IsLoadable(const KifBulkShape& shape, uint32_t capacity, uint32_t keyLength) {
  if (capacity < kMinCapacity || capacity > kMaxCapacity || keyLength < kMinKeyLength || keyLength > kMaxKeyLength) {
    return false;
  }
  // A file within the largest offset holds fewer than 2^32 entries, so the
  // header's entry count cannot overflow.
  return shape.Fits() &&
         shape.FileBytes(LeafBlockSize(capacity, keyLength), InternalBlockSize(capacity, keyLength)) <= kMaxFileOffset;
}

EngineStatus KifBulkLoader::Add(const char* key, size_t length, uint32_t recordPosition) {
  if (status_ != kEngineOk) return status_;
  // A key one byte over the key length is too long already.
  const size_t keyBytes = KeyBytes(key, std::min<size_t>(length, header_.keyLength + 1));
  status_ = Refusal(key, keyBytes, recordPosition);
  if (status_ != kEngineOk) return status_;
  RememberLast(key, keyBytes, recordPosition);
  ++added_;
  OpenNode& node = open_[target_];
  PutEntry(node.block.data(), header_.capacity, header_.keyLength, node.entries++, key, keyBytes, recordPosition);
  if (target_ != 0) {
    // The entries after one in an internal node start the next subtree at
    // its leftmost leaf.
    target_ = 0;
    return kEngineOk;
  }
  if (node.entries < shape_.NodeEntries(0, node.index)) return kEngineOk;
  status_ = WriteCompletedNodes();
  return status_;
}

EngineStatus KifBulkLoader::Refusal(const char* key, size_t keyBytes, uint32_t recordPosition) const {
  if (added_ == expected_) return eKifInvalidParameter;
  // 0 marks an unused slot in a block and can never be stored.
  if (recordPosition == 0) return eKifInvalidParameter;
  if (keyBytes > header_.keyLength) return eKifKeyTooLong;
  if (added_ != 0 && !KifEntryPrecedes(lastKey_, lastKeyBytes_, lastPosition_, key, keyBytes, recordPosition)) {
    return eKifInvalidParameter;
  }
  return kEngineOk;
}

void KifBulkLoader::RememberLast(const char* key, size_t keyBytes, uint32_t recordPosition) {
  if (keyBytes != 0) std::memcpy(lastKey_, key, keyBytes);
  lastKeyBytes_ = keyBytes;
  lastPosition_ = recordPosition;
}

EngineStatus KifBulkLoader::WriteCompletedNodes() {
  const uint32_t height = shape_.Height();
  for (uint32_t level = 0; level < height; ++level) {
    uint32_t position = 0;
    const EngineStatus status = WriteNode(level, position);
    if (status != kEngineOk) return status;
    if (level + 1 == height) {
      header_.rootPosition = position;
      return kEngineOk;
    }
    OpenNode& parent = open_[level + 1];
    PutChild(parent.block.data(), header_.capacity, header_.keyLength, parent.children++, position);
    if (parent.entries < shape_.NodeEntries(level + 1, parent.index)) {
      target_ = level + 1;
      return kEngineOk;
    }
  }
  return kEngineOk;
}

EngineStatus KifBulkLoader::WriteNode(uint32_t level, uint32_t& position) {
  OpenNode& node = open_[level];
  const uint32_t size = header_.BlockSize(level);
  // The shape was measured against the largest offset up front.
  if (!writer_.Place(size, position)) return eKifInvalidParameter;
  std::memcpy(writer_.Append(size), node.block.data(), size);
  std::fill(node.block.begin(), node.block.end(), 0);
  node.entries = 0;
  node.children = 0;
  ++node.index;
  return writer_.FlushIfFull() ? kEngineOk : eKifWriteError;
}

EngineStatus KifBulkLoader::Finish() {
  if (status_ != kEngineOk || finished_) return status_;
  if (added_ < expected_) {
    status_ = eKifInvalidParameter;
    return status_;
  }
  header_.height = shape_.Height();
  header_.entryCount = static_cast<uint32_t>(added_);
  unsigned char bytes[kHeaderSize];
  header_.Encode(bytes);
  if (!writer_.WriteHeader(bytes)) {
    status_ = eKifWriteError;
    return status_;
  }
  finished_ = true;
  return kEngineOk;
}

}  // namespace kro
