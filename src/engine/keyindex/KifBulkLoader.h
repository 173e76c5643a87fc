// Writes a whole key index file in one streaming pass, bottom-up, from
// entries that arrive in the order the index keeps them (KifEntryPrecedes).
//
// The tree's shape follows from the entry count alone (KifBulkShape), so each
// node is written the moment its last entry or child has come, and memory
// holds one open node per level and the write buffer, whatever the count.
// Entries arrive in the tree's in-order sequence: a leaf fills to its size,
// then the next entry goes to the lowest ancestor still short of entries,
// and the entries after that start a new leaf. Nodes complete children
// first, so a parent always knows the positions of its children, and the
// root is the last block.
//
// The result is an ordinary key index: version 1, no description, both free
// lists empty, blocks end to end from offset 512 (so on the grain of the two
// block sizes), every non-root node between m and M entries. The header is
// written last: a load that fails or is given up leaves a file whose header
// is zero, which no open takes for a tree. The caller removes it.
#ifndef KRO_ENGINE_KEYINDEX_KIFBULKLOADER_H
#define KRO_ENGINE_KEYINDEX_KIFBULKLOADER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/EngineStatus.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/indexfile/IndexBlockWriter.h"
#include "engine/keyindex/KifBulkShape.h"
#include "engine/keyindex/KifFormat.h"
#include "engine/keyindex/KifHeader.h"
#include "engine/keyindex/KifNode.h"
#include "platform/FileSystem.h"

namespace kro {

// The order the key index keeps its entries in: true when (keyA, positionA)
// comes before (keyB, positionB). A key is its bytes before the first zero
// (at most `length`; null is the empty key); keys compare byte by byte as
// unsigned values, a prefix before the longer key, then equal keys by record
// position. For keys of at most L bytes this is the order of their key
// fields in the index.
bool KifEntryPrecedes(const char* keyA, size_t lengthA, uint32_t positionA, const char* keyB, size_t lengthB,
                      uint32_t positionB);

class KifBulkLoader {
 public:
  // `file` is open for writing and empty; the loader writes the whole file
  // through `files` from offset 0 (header last, so a file cut short has no
  // root). `count` entries will follow. A capacity or key length out of
  // range, or a count whose tree a file of 32-bit offsets cannot hold, makes
  // every call answer eKifInvalidParameter.
  KifBulkLoader(const CGafRawFile& files, FileHandle file, uint64_t count, uint32_t capacity = kif::kDefaultCapacity,
                uint32_t keyLength = kif::kDefaultKeyLength);
  KifBulkLoader(const KifBulkLoader&) = delete;
  KifBulkLoader& operator=(const KifBulkLoader&) = delete;

  // `key` holds `length` bytes; the key is those before the first zero.
  // kEngineOk; eKifKeyTooLong for a key longer than the key length;
  // eKifInvalidParameter for an entry out of order, a duplicate pair, a
  // position 0, or more entries than `count`; eKifWriteError. The first
  // failure is sticky.
  EngineStatus Add(const char* key, size_t length, uint32_t recordPosition);
  // Writes what is left and the header; eKifInvalidParameter when fewer than
  // `count` entries came. Does not sync. Answers the same again when called
  // again, and writes nothing more.
  EngineStatus Finish();

 private:
  // The node of one level that entries and children go into now.
  struct OpenNode {
    std::vector<unsigned char> block;  // zero but for the slots filled so far
    uint32_t entries = 0;
    uint32_t children = 0;
    uint64_t index = 0;  // among the nodes of its level, left to right
  };

  static bool IsLoadable(const KifBulkShape& shape, uint32_t capacity, uint32_t keyLength);
  // Why the entry cannot come next, or kEngineOk.
  EngineStatus Refusal(const char* key, size_t keyBytes, uint32_t recordPosition) const;
  void RememberLast(const char* key, size_t keyBytes, uint32_t recordPosition);
  // The leaf just filled is complete, and so is every ancestor whose last
  // child it ends: each is written and handed to its parent, and the lowest
  // ancestor still short of entries takes the next one.
  EngineStatus WriteCompletedNodes();
  EngineStatus WriteNode(uint32_t level, uint32_t& position);

  KifHeader header_;  // shape and block sizes; height, root and count at the end
  KifBulkShape shape_;
  IndexBlockWriter writer_;
  std::vector<OpenNode> open_;  // one per level, the leaf first
  uint64_t expected_;
  uint64_t added_ = 0;
  uint32_t target_ = 0;  // the level the next entry goes to
  KifKeyField lastKey_ = {};
  size_t lastKeyBytes_ = 0;
  uint32_t lastPosition_ = 0;
  EngineStatus status_ = kEngineOk;
  bool finished_ = false;
};

}  // namespace kro

#endif
