// The spatial index engine: one open ".sif" file holding a disk-resident
// R-tree from each object's bounding box and type to its record position in
// the data file.
//
// The object owns its file, the header (kept in memory and written at close,
// and at once by the setters), a cache of 30 node buffers with write-back, the
// path stack along which searches and tree walks proceed, and the buffer of
// search hits. Every operation returns an engine status word; nothing throws.
//
// Invariants between operations:
//  - height 0 <=> root position 0 <=> the tree is empty;
//  - every position followed from the file (root, child, free-list link) is
//    checked to be a block of the right kind inside the file first; a bad one
//    ends the operation with eSifReadError (Verify reports eSifBadNodePosition
//    for tree positions), never a wild read;
//  - a header that this engine cannot walk safely is refused at open.
//
// A search and a leaf scan share the path stack and the hit buffer; starting
// one ends the other. A search of a read-only index with a block cache walks
// the cached blocks themselves instead (see CSpatialIndexBlockSearch.cpp):
// the same hits in the same order, without decoding whole nodes. Insertion and deletion must not be interleaved with an
// active search or scan (they reset the cursors of the nodes they fetch).
#ifndef KRO_ENGINE_SPATIALINDEX_CSPATIALINDEX_H
#define KRO_ENGINE_SPATIALINDEX_CSPATIALINDEX_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/indexfile/BlockClaims.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/indexfile/NodeCache.h"
#include "engine/indexfile/NodePin.h"
#include "engine/spatialindex/SifBlock.h"
#include "engine/spatialindex/SifNode.h"
#include "platform/FileSystem.h"

namespace kro {

class CSpatialIndex : public CIndexFile, private NodeStore<SifNode> {
 public:
  // Opens `fileName` with the open flag word of the file layer (1 read only;
  // 2 read-write on an existing file; 2+4 create new; 2+8 create or
  // truncate; 2+16 open or create). A created file gets the default header
  // at once. Status: 0, eSifCannotOpen, eSifReadError, eSifNotASif,
  // eSifBadVersion, eSifWriteError. After a failure the object holds no file
  // and must only be destroyed.
  CSpatialIndex(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env = Env::Default());
  // Closes (see Close).
  ~CSpatialIndex() override;

  // A writable, successfully opened index writes its header and every dirty
  // node, and answers the first failure of those writes (else kEngineOk).
  // Then everything is released. Only the first call does anything.
  EngineStatus Close();

  uint32_t GetVersion() const { return header_.version; }
  void GetNodeCapacity(uint32_t& maximum, uint32_t& minimum) const;
  uint32_t GetCoordinateBits() const { return header_.coordinateBits; }
  uint32_t GetObjectCount() const { return header_.objectCount; }
  const char* GetDescription() const { return header_.description; }
  uint32_t GetHeight() const { return header_.height; }

  // Stores at most 255 bytes of whole characters and writes the header.
  // eSifReadOnly on a read-only file; eSifInvalidParameter for a null text.
  EngineStatus SetDescription(const char* text);
  // 32 or 64, else eSifInvalidParameter. Only a file created by this open
  // that still holds no block changes (the header is written); otherwise 0
  // and nothing changes.
  EngineStatus SetCoordinateBits(uint32_t bits);
  // 2 <= maximum <= 50 and 1 <= minimum <= maximum / 2 (so that every split
  // leaves both halves at the minimum), else eSifInvalidParameter. Changes
  // only what SetCoordinateBits would change.
  EngineStatus SetNodeCapacity(uint32_t maximum, uint32_t minimum);

  // Enters one object. Status: 0, eSifReadOnly, eSifInvalidParameter for
  // record position 0 (it would read back as an unused slot), eSifHeightLimit
  // (the tree is at its height limit and a node would split; nothing
  // changes), eSifReadError, eSifWriteError. A 32-bit index rounds the box to singles first, so what
  // the cache holds is what the file will hold.
  EngineStatus Insert(uint32_t objectType, const BoundingBoxNode& box, uint32_t recordPosition);

  // Union of the root's entries, or four zeros for an empty tree.
  EngineStatus GetBoundingBox(BoundingBoxNode& box);
  // Starts a search for entries whose boxes meet `box` and whose types pass
  // `typeFilter` (0 all, 1 points, 2 polylines, 4 polygons, else none). With
  // `sortBatches` each batch of up to 8192 hits comes out by ascending record
  // position.
  EngineStatus BeginSearch(const BoundingBoxNode& box, uint32_t typeFilter, bool sortBatches);
  // 0 with a hit, kEngineEndOfResults once (the search ends), eSifNoSearch
  // without a search, or the read status that ended the search.
  EngineStatus GetNextHit(uint32_t& recordPosition, uint32_t& objectType, BoundingBoxNode& box);
  // For a search with sorted batches: the last record position among the
  // hits still to come of the current batch that lie after `from` with gaps
  // of at most `maxGap` bytes between neighbours, all before `from + span`;
  // `from` when there is none. A reader covers them with one read.
  uint32_t NearbyHitsEnd(uint32_t from, uint32_t maxGap, uint32_t span) const;

  // Rewrites the tree depth first into a temporary file without free blocks
  // and puts it in place of the index file. `keepName` (kMaxPathBytes bytes
  // or null) receives the temporary file's name when the replacement failed
  // and the caller wants it kept. A failure or an abort through `progress`
  // leaves the object and its file as they were before the call.
  EngineStatus Compact(CIndexProgress* progress, char* keepName);

  // Removes the entry with `recordPosition` found under internal boxes that
  // contain `box`; underfull nodes are dissolved and their entries inserted
  // again. 0, eSifReadOnly, eSifNotFound, read and write statuses.
  EngineStatus Delete(const BoundingBoxNode& box, uint32_t recordPosition);

  // Walks the whole tree and both free lists, checks the invariants and
  // fills `statistics`. 0 or the first violation in depth-first order.
  EngineStatus Verify(CIndexProgress* progress, SifStatistics& statistics);

  // Hands out every leaf, one per call: the arrays must hold the header's
  // maximum number of entries.
  EngineStatus BeginLeafScan();
  EngineStatus GetNextLeaf(uint32_t* recordPositions, uint32_t* objectTypes, BoundingBoxNode* boxes,
                           uint32_t& entryCount, BoundingBoxNode& unionBox);

 private:
  using Cache = NodeCache<SifNode>;
  using Pin = NodePin<SifNode>;

  // Header and node blocks (CSpatialIndexBlocks.cpp).
  EngineStatus ReadHeader();
  EngineStatus WriteHeader(FileHandle file);
  // Binds the block bytes of a node at `level` (REQUIRES: `bytes` holds the
  // whole block of that level's kind, as ViewBlock hands it out).
  bool BindBlock(const unsigned char* bytes, uint32_t level, sif::BlockView& view) const;
  // The block bytes of `node` (REQUIRES: room for its block size).
  void EncodeNode(const SifNode& node, unsigned char* bytes) const;
  // Writes `node` into another file (a compaction's temporary file).
  EngineStatus WriteNode(FileHandle file, const SifNode& node);
  EngineStatus FreeNode(SifNode& node);
  // Whether `position` can hold a block of `blockSize` bytes inside the file.
  bool IsValidBlockPosition(uint32_t position, uint32_t blockSize) const { return IsBlockPlace(position, blockSize); }
  // Follows a free list from `head`, counting its blocks; eSifReadError for a
  // link that is no block of the list's kind, a failed read, a cycle, or a
  // block `claims` holds already (in the tree or on the other list).
  EngineStatus WalkFreeList(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims& claims);
  uint32_t& FreeListHead(uint32_t level);
  uint32_t BlockGrain() const override;

  // NodeStore.
  EngineStatus ReadNode(uint32_t position, uint32_t level, SifNode& node) override;
  EngineStatus WriteNodeBack(const SifNode& node) override;
  EngineStatus AllocateBlock(uint32_t level, SifNode& node) override;
  uint32_t RootPosition() const override { return header_.rootPosition; }
  EngineStatus ReadErrorStatus() const override { return eSifReadError; }
  uint64_t VisitBudget() const override {
    const uint64_t places = FileSize() > kIndexHeaderSize ? (FileSize() - kIndexHeaderSize) / BlockGrain() + 1 : 1;
    return 2 * places + 256;
  }

  // Cache access that refuses a cached node of another level than the path
  // says (a damaged child field pointing at an ancestor or a sibling level).
  SifNode* FetchNode(uint32_t position, uint32_t level, EngineStatus& status);
  EngineStatus PushNode(uint32_t position, uint32_t level);
  bool IsOpen() const { return cache_ != nullptr; }
  static bool Aborted(const CIndexProgress* progress) { return progress != nullptr && progress->IsAborted(); }
  bool CanChangeLayout() const;
  // Drops any search or scan and pins the root on the empty path stack.
  EngineStatus StartWalk();
  // Drops any search or scan and lets go of the path stack.
  void EndWalks();

  // Insertion (CSpatialIndexInsert.cpp, CSpatialIndexSplit.cpp).
  EngineStatus InsertEntry(uint32_t targetLevel, uint32_t type, const BoundingBoxNode& box, uint32_t childField);
  SifNode* InsertAt(SifNode& node, uint32_t targetLevel, uint32_t type, const BoundingBoxNode& box,
                    uint32_t childField, EngineStatus& status);
  uint32_t ChooseSubtree(const SifNode& node, const BoundingBoxNode& box) const;
  // eSifHeightLimit when the insertion would split a node of a tree at the
  // height limit; 0 or a read status otherwise.
  EngineStatus CheckRoomToSplit(uint32_t targetLevel, const BoundingBoxNode& box);
  SifNode* SplitNode(SifNode& node, uint32_t type, const BoundingBoxNode& box, uint32_t childField,
                     EngineStatus& status);

  // Search (CSpatialIndexSearch.cpp).
  bool WalkInProgress() const { return blockWalk_ ? blockTop_ >= 0 : cache_->Top() >= 0; }
  EngineStatus FillBatch();
  void ExamineLeaf(SifNode& leaf);
  void SortBatch();
  // Room for one more hit in the batch, which grows with the hits up to
  // kBatchCapacity; false when it is full or cannot grow.
  bool BatchHasRoom();

  // Search over the blocks of a read-only index (CSpatialIndexBlockSearch.cpp).
  struct BlockStep {
    uint32_t position;
    uint32_t level;
    // A leaf: the next slot to look at. An inner node: the next of
    // `children`, the children that meet the search box in slot order,
    // taken from its block once, at the first visit (`scanned`).
    uint32_t slot;
    bool scanned;
    uint32_t childCount;
    std::array<uint32_t, sif::kMaxSlots> children;  // [0, childCount) are set

    // A first visit to the node at `position`; `children` is left as it is,
    // since the scan fills it before it is read.
    void Enter(uint32_t at, uint32_t atLevel) {
      position = at;
      level = atLevel;
      slot = childCount = 0;
      scanned = false;
    }
  };
  bool CanWalkBlocks() const { return IsReadOnly() && CacheBudget() > 0; }
  EngineStatus StartBlockWalk();
  EngineStatus FillBatchFromBlocks();
  // The block of the node `step` names, checked to be a block of its kind
  // inside the file, bound for its slots to be read.
  EngineStatus ViewNode(const BlockStep& step, unsigned char* scratch, sif::BlockView& view);
  // Pushes the child at `position` one level below the top; refuses a
  // position already on the path (a damaged file pointing back up).
  EngineStatus PushBlock(uint32_t position);
  // Takes the leaf's hits from step.slot on; true when the leaf is done,
  // false when the batch filled first (step.slot then says where to go on).
  bool ExamineLeafBlock(BlockStep& step, const sif::BlockView& leaf);
  // Takes the children of the inner node `step` that meet the search box
  // from its block, then reads them ahead. 0 or eSifReadError.
  EngineStatus ScanInnerBlock(BlockStep& step, const sif::BlockView& inner);
  // Reads ahead, together, the children of the scanned node `step` that the
  // walk will enter. 0 or eSifReadError.
  EngineStatus PrefetchChildren(const BlockStep& step);

  // Compaction (CSpatialIndexCompact.cpp).
  EngineStatus CopyTree(IndexTempFile& temp, uint32_t& newFileSize, CIndexProgress* progress);
  EngineStatus CopySubtree(FileHandle file, uint32_t& slot, uint32_t& fileEnd, CIndexProgress* progress);
  EngineStatus PutCompactedFileInPlace(IndexTempFile& temp, uint32_t newFileSize, char* keepName);

  // Deletion (CSpatialIndexDelete.cpp).
  EngineStatus DeleteAt(SifNode& node, const BoundingBoxNode& box, uint32_t recordPosition);
  EngineStatus ReinsertDissolved();
  EngineStatus CondenseRoot();
  EngineStatus EmptyTree();

  // Verification (CSpatialIndexVerify.cpp).
  // Checks the node on top of the path stack and its subtree, claiming
  // their blocks.
  EngineStatus VerifyNode(CIndexProgress* progress, const BoundingBoxNode& expected, SifStatistics& statistics,
                          BlockClaims& claims);

  SifHeader header_;
  std::unique_ptr<Cache> cache_;
  bool closed_ = false;
  // Free lists are checked whole (bounded walk) before the first block is
  // taken from them; afterwards only this object changes them. Internal,
  // leaf.
  FreeListState freeLists_[2];

  bool searchActive_ = false;
  bool leafScanActive_ = false;
  BoundingBoxNode searchBox_{};
  uint32_t typeFilter_ = 0;
  bool sortBatches_ = false;
  uint32_t batchCount_ = 0;
  uint32_t batchCursor_ = 0;
  std::vector<SifHit> batch_;
  // Delivery order: indexes into batch_.
  std::vector<uint32_t> order_;
  // The block walk's path: root at 0, blockTop_ the node being examined.
  bool blockWalk_ = false;
  std::array<BlockStep, sif::kMaxHeight> blockPath_{};
  int blockTop_ = -1;
  uint64_t blockVisits_ = 0;

  // Copies of the nodes Delete dissolved, deepest first.
  std::vector<SifNode> dissolved_;
};

}  // namespace kro

#endif
