// The key index: a disk-resident B-tree from key text to record positions in
// the data file. Every node, internal or leaf, holds entries (key, record
// position); one key may carry several record positions, the pair is unique.
//
// The object owns one open ".kif" file, a cache of 30 node buffers with
// write-back, and a 30-slot path stack along which searches, verification and
// compaction walk. Node changes stay in the cache until a buffer is evicted or
// the object is destroyed; header changes stay in memory until destruction,
// except that the setters and Compact write the header at once.
//
// Invariants between public calls:
//  - the in-memory header describes the tree the cache and the file hold
//    together;
//  - every position followed is first checked to be a block place of the
//    file (>= 512, inside the file, on the grain of the two block sizes), so a
//    damaged file ends an operation with a status, never with a wild read;
//  - a free list is walked once, bounded by the block places of the file,
//    before a block is first taken from it, so a looping list is refused
//    instead of handing out blocks that are still in use.
//
// Each status word is a value; nothing throws. An object whose open failed
// can only be destroyed: every operation on it gives eKifCannotOpen.
//
// There is no rollback: an insertion or deletion that fails part-way (a read
// or write failure, or damage met in the file) may leave a split, rotation or
// merge half done in the cache. The failure is therefore sticky: every later
// Insert, Delete and Compact returns it, while searches and Verify still
// read what is there. Destruction writes back as far as the tree got.
#ifndef KRO_ENGINE_KEYINDEX_CKEYINDEX_H
#define KRO_ENGINE_KEYINDEX_CKEYINDEX_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EngineStatus.h"
#include "engine/indexfile/BlockClaims.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/indexfile/NodeCache.h"
#include "engine/keyindex/KifHeader.h"
#include "engine/keyindex/KifNode.h"
#include "engine/keyindex/KifStatistics.h"

namespace kro {

class CKeyIndex : public CIndexFile, private NodeStore<KifNode> {
 public:
  // Opens the file with the flag word of the file access layer (1 read-only;
  // 2 read-write on an existing file; 2+8 create or truncate; 2+16 open or
  // create). A created file gets the default header at once. `status`: 0,
  // eKifCannotOpen, eKifReadError, eKifNotAKif, eKifBadVersion,
  // eKifWriteError. The object must be destroyed even after a failed open.
  CKeyIndex(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env = Env::Default());
  // Writes the header and every modified node of a writable file; failures
  // there are not reported.
  ~CKeyIndex() override;

  // A writable index writes its header and every dirty node, and answers the
  // first failure of those writes (else kEngineOk); then everything is
  // released. Later calls do nothing.
  EngineStatus Close();

  // Adds the pair. `key` is terminated text of at most L bytes (null is the
  // empty key); `recordPosition` is never 0. 0, eKifReadOnly, eKifKeyTooLong,
  // eKifDuplicate, eKifInvalidParameter (position 0), read and write
  // statuses (sticky, see above). Ends any active search.
  EngineStatus Insert(const char* key, uint32_t recordPosition);
  // Removes the pair. 0, eKifReadOnly, eKifNotFound, read and write
  // statuses. Ends any active search.
  EngineStatus Delete(const char* key, uint32_t recordPosition);

  // Starts a search for every entry whose key equals `key` over L bytes.
  // 0, eKifKeyTooLong, or the status of reading the root. Drops any earlier
  // search.
  EngineStatus BeginSearch(const char* key);
  // One record position per call: 0 with a position; kEngineEndOfResults
  // when none is left; eKifNoSearch without an active search; a read status
  // (which ends the search). `recordPosition` is 0 unless one is delivered.
  EngineStatus GetNextMatch(uint32_t& recordPosition);

  // Walks the whole tree and checks its invariants; reports the first
  // violation (eKifBadNodePosition, eKifUnderfullNode, eKifBadKeyOrder,
  // eKifCountMismatch) or a read status. Ends any active search.
  EngineStatus Verify(CIndexProgress* progress, KifStatistics& statistics);
  // Rewrites the tree depth first into a temporary file without free blocks
  // and puts it in place of the index file. `keepName` (kMaxPathBytes bytes,
  // or null) receives the temporary file's name when the replacement fails;
  // the file is then left behind for the caller, otherwise no temporary file
  // stays. A compaction that fails before the replacement (eKifTempFileError,
  // eKifTempWriteError, eKifReplaceFailed, a read or write status) or that
  // the progress sink aborts (0) leaves the object and the index file as they
  // were. After the replacement only the reopen (eKifCannotOpen: the object
  // can then only be destroyed) or the size query (eKifReadError) can fail.
  EngineStatus Compact(CIndexProgress* progress, char* keepName);

  // Stores at most 255 bytes of whole characters and writes the header.
  EngineStatus SetDescription(const char* text);
  // Capacity 2 .. 20 and key length 1 .. 256, else eKifInvalidParameter.
  // Change only a file created by this open that holds no block yet, and
  // write the header; otherwise 0 and nothing changes.
  EngineStatus SetNodeCapacity(uint32_t maximum);
  EngineStatus SetKeyLength(uint32_t length);

  uint32_t GetVersion() const { return header_.version; }
  const char* GetDescription() const { return header_.description; }
  uint32_t GetNodeCapacity() const { return header_.capacity; }
  uint32_t GetKeyLength() const { return header_.keyLength; }
  uint32_t GetEntryCount() const { return header_.entryCount; }
  const KifHeader& Header() const { return header_; }

  // Block level. Seek failures before a header or node write are read
  // errors; failed writes, and a failed seek to the end or position query
  // while appending, are write errors.
  EngineStatus ReadHeader();
  EngineStatus WriteHeader(FileHandle file);
  // Fails with eKifReadError, reading nothing, when `position` is not a
  // block place of the file for a node of `level`.
  EngineStatus ReadNode(uint32_t position, uint32_t level, KifNode& node) override;
  // Writes `node` into another file (a compaction's temporary file).
  EngineStatus WriteNode(FileHandle file, const KifNode& node);
  EngineStatus AllocateBlock(uint32_t level, KifNode& node) override;
  // Puts the node's block at the head of its free list and empties the
  // buffer (its pin count stays).
  EngineStatus FreeNode(KifNode& node);
  // Keys over L bytes (unsigned, whole characters), then record positions.
  int CompareEntries(const char* keyA, uint32_t valueA, const char* keyB, uint32_t valueB) const;

 private:
  using Pin = NodePin<KifNode>;

  // What a split hands up to the parent: the promoted entry and the new
  // right sibling.
  struct Promotion {
    KifKeyField key = {};
    uint32_t value = 0;
    uint32_t rightChild = 0;
  };
  // InsertAt's answer when the node was split and a Promotion waits.
  static constexpr EngineStatus kNodeSplit = 1;
  static constexpr uint32_t kBatchSize = 512;
  static constexpr uint32_t kResultGrowth = 256;

  // CKeyIndex.cpp: life cycle and settings.
  EngineStatus Open(const char* fileName, uint32_t flagWord);
  bool IsOpen() const;
  bool CanReshape() const;
  EngineStatus Reshape(uint32_t capacity, uint32_t keyLength);
  void EndSearch();
  // Remembers a failure that may have left a change half done.
  EngineStatus NoteChange(EngineStatus status);

  // CKeyIndexBlocks.cpp: block places, free lists, cache access.
  EngineStatus WriteNodeBack(const KifNode& node) override;
  uint32_t RootPosition() const override { return header_.rootPosition; }
  EngineStatus ReadErrorStatus() const override { return eKifReadError; }
  uint64_t VisitBudget() const override {
    const uint64_t places = FileSize() > kIndexHeaderSize ? (FileSize() - kIndexHeaderSize) / BlockGrain() + 1 : 1;
    return 2 * places + 256;
  }
  uint32_t BlockGrain() const override;
  bool IsValidPosition(uint32_t position, uint32_t blockSize) const { return IsBlockPlace(position, blockSize); }
  // The block bytes of `node` (REQUIRES: room for its block size).
  void EncodeNode(const KifNode& node, unsigned char* block) const;
  // Length of the free list from `head`; eKifReadError for a failed read, a
  // position that is no block place, a list longer than the file can hold
  // (a loop), or a block `claims` holds already (in the tree or on the other
  // list).
  EngineStatus CountFreeBlocks(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims& claims);
  FreeListState& FreeList(uint32_t level) { return freeLists_[level == 0 ? 0 : 1]; }
  void ResetFreeLists();
  // Fetches and pins a node expected at `level`; a block already cached at
  // another level means the tree is damaged (eKifReadError).
  Pin Fetch(uint32_t position, uint32_t level, EngineStatus& status);
  // Fetches child `childSlot` of `parent` as a sibling of `node`.
  Pin FetchSibling(const KifNode& parent, uint32_t childSlot, const KifNode& node, EngineStatus& status);
  EngineStatus Push(uint32_t position, uint32_t level, bool fromCache);
  // Turns caller text into a key field; false when it has more than L bytes.
  bool MakeKeyField(const char* key, char* field) const;
  int CompareKeys(const char* a, const char* b) const;
  bool HasMinimum(const KifNode& node) const;
  // Whether the used slots of a node just read are slots 0 .. count-1.
  static bool HasUsedSlotsInFront(const KifNode& node);

  // CKeyIndexNodes.cpp: operations on node buffers.
  uint32_t FindInNode(const KifNode& node, const char* key, uint32_t value, bool& found) const;
  void InsertInNode(KifNode& node, uint32_t slot, const char* key, uint32_t value, uint32_t rightChild);
  void RemoveFromNode(KifNode& node, uint32_t slot);
  void RotateLeft(KifNode& parent, uint32_t s, KifNode& left, KifNode& right);
  void RotateRight(KifNode& parent, uint32_t s, KifNode& left, KifNode& right);
  EngineStatus SplitNode(KifNode& node, Promotion& up);

  // CKeyIndexInsert.cpp.
  EngineStatus InsertPair(const char* key, uint32_t value);
  EngineStatus InsertAt(KifNode* parent, uint32_t parentSlot, KifNode& node, const char* key, uint32_t value,
                        Promotion& up);
  EngineStatus Redistribute(KifNode& parent, uint32_t slot, KifNode& node, bool& moved);
  EngineStatus GrowRoot(KifNode& oldRoot, const Promotion& up);

  // CKeyIndexDelete.cpp.
  EngineStatus DeletePair(const char* key, uint32_t value);
  EngineStatus DeleteAt(KifNode& node, const char* key, uint32_t value, bool takeFirst, char* firstKey,
                        uint32_t* firstValue);
  EngineStatus FixUnderflow(KifNode& parent, uint32_t c, KifNode& child);
  EngineStatus MergeNodes(KifNode& parent, uint32_t s, KifNode& left, KifNode& right);

  // CKeyIndexSearch.cpp.
  EngineStatus FillBatch(int depth);
  void PushResult(uint32_t recordPosition);

  // CKeyIndexVerify.cpp.
  struct Bound {
    const char* key;
    uint32_t value;
    bool inclusive;  // an entry may equal the bound (only the outermost ones)
  };
  EngineStatus VerifyNode(CIndexProgress* progress, Bound low, Bound high, KifStatistics& statistics,
                          BlockClaims& claims);
  EngineStatus CheckOrder(const KifNode& node, Bound low, Bound high) const;

  // CKeyIndexCompact.cpp.
  EngineStatus CopyTree(FileHandle file, CIndexProgress* progress);
  EngineStatus CopySubtree(FileHandle file, uint32_t& slot, CIndexProgress* progress);
  EngineStatus PutCompactedFileInPlace(IndexTempFile& temp, char* keepName);
  void RestoreAfterCompact(const KifHeader& header, const FreeListState (&lists)[2]);

  KifHeader header_;
  std::unique_ptr<NodeCache<KifNode>> cache_;
  FreeListState freeLists_[2];  // leaf, internal
  EngineStatus changeFailure_ = kEngineOk;  // sticky, see above

  bool searchActive_ = false;
  KifKeyField searchKey_ = {};
  std::vector<uint32_t> results_;  // its size is the result capacity
  uint32_t resultCount_ = 0;
  uint32_t resultCursor_ = 0;
};

}  // namespace kro

#endif
