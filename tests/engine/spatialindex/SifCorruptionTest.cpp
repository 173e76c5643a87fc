// Damaged files: positions that lead outside the file, off the block grid or
// back up the tree, and free lists that loop. Every operation ends with a
// status; none crashes, reads wildly or runs for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::test {
namespace {

const BoundingBoxNode kEverywhere = Box(-1e300, -1e300, 1e300, 1e300);
// The sample: leaves at 512 and 1272, the root at 2032, a third leaf at 2752.
constexpr uint32_t kRoot = 2032;
constexpr uint32_t kSampleSize = 3512;

class SifCorruption : public ::testing::Test {
 protected:
  void SetUp() override {
    auto index = OpenIndex(path_, kCreate);
    for (uint32_t i = 1; i <= 35; ++i) ASSERT_EQ(index->Insert(0, Box(i, 0, i + 1, 1), 2 * i), kEngineOk);
    index.reset();
    sample_ = ReadFileBytes(path_);
    ASSERT_EQ(sample_.size(), kSampleSize);
    ASSERT_EQ(DecodeBlock(sample_, kRoot, false).size(), 3u);
    ASSERT_EQ(RootOf(sample_), kRoot);
  }

  void WriteWithRootChild(uint32_t slot, uint32_t position) {
    Bytes file = sample_;
    PutU32At(file, kRoot + 4 * slot, position);
    WriteFileBytes(path_, file);
  }

  // Every reading operation ends in a status; the read-only file is untouched.
  void ExpectReadsRefused(EngineStatus verifyStatus) {
    const Bytes before = ReadFileBytes(path_);
    // Without a block cache the search walks decoded nodes, with one the
    // blocks themselves: both refuse the damage.
    for (const size_t budget : {size_t{0}, size_t{1} << 20}) {
      auto index = OpenIndex(path_, kOpenReadOnly);
      ASSERT_EQ(index->SetCacheBudget(budget), BlockIo::kOk);
      ASSERT_EQ(index->BeginSearch(kEverywhere, 0, true), kEngineOk);
      SifHit hit;
      EXPECT_EQ(index->GetNextHit(hit.recordPosition, hit.objectType, hit.box), eSifReadError) << budget;
      // The error names the index and the node where the walk met the damage.
      const EngineError error = index->ErrorFor(eSifReadError);
      EXPECT_EQ(error.file, path_);
      EXPECT_TRUE(error.HasOffset()) << error.Describe();
      EXPECT_EQ(index->GetNextHit(hit.recordPosition, hit.objectType, hit.box), eSifNoSearch);
    }
    {
      auto index = OpenIndex(path_, kOpenReadOnly);

      SifStatistics statistics;
      EXPECT_EQ(index->Verify(nullptr, statistics), verifyStatus) << StatusName(index->Verify(nullptr, statistics));
      EXPECT_EQ(index->ErrorFor(verifyStatus).file, path_);
      EXPECT_FALSE(index->ErrorFor(verifyStatus).reason.empty());

      uint32_t positions[sif::kMaxSlots];
      uint32_t types[sif::kMaxSlots];
      BoundingBoxNode boxes[sif::kMaxSlots];
      uint32_t count = 0;
      BoundingBoxNode unionBox{};
      ASSERT_EQ(index->BeginLeafScan(), kEngineOk);
      EngineStatus status = kEngineOk;
      for (int i = 0; i < 5 && status == kEngineOk; ++i) {
        status = index->GetNextLeaf(positions, types, boxes, count, unionBox);
      }
      EXPECT_EQ(status, eSifReadError);
    }
    EXPECT_EQ(ReadFileBytes(path_), before);
  }

  // Insertion and deletion that must pass the damaged child of slot 0.
  void ExpectChangesRefused() {
    auto index = OpenIndex(path_, kUpdate);
    const std::vector<BlockEntry> root = DecodeBlock(sample_, kRoot, false);
    const BoundingBoxNode inside = root[0].box;
    EXPECT_EQ(index->Insert(0, inside, 5000), eSifReadError);
    EXPECT_EQ(index->Delete(inside, 2), eSifReadError);
  }

  TempDir dir_;
  std::string path_ = dir_.File("a.sif");
  Bytes sample_;
};

// Unions skip NaN, so a NaN box passes the union check; Verify names it.
TEST_F(SifCorruption, NaNBoxIsReportedByVerify) {
  for (uint32_t coordinate = 0; coordinate < 4; ++coordinate) {
    Bytes file = sample_;
    CIndexFile::PutReal(std::numeric_limits<double>::quiet_NaN(), 64, file.data() + 512 + 80 + 32 * 3 + 8 * coordinate);
    WriteFileBytes(path_, file);
    auto index = OpenIndex(path_, kOpenReadOnly);
    SifStatistics statistics;
    EXPECT_EQ(index->Verify(nullptr, statistics), eSifNaNBox) << coordinate;
  }
  WriteFileBytes(path_, sample_);
  auto index = OpenIndex(path_, kUpdate);
  SifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  ASSERT_EQ(index->Insert(0, Box(0, std::nan(""), 1, 1), 1000), kEngineOk);
  EXPECT_EQ(index->Verify(nullptr, statistics), eSifNaNBox) << "an inserted one too";
}

// A root left without entries above the leaves: an insertion finds no
// subtree to descend into and fails, so Verify must refuse the tree first.
TEST_F(SifCorruption, RootWithoutEntriesFailsInsertionAndIsRefusedByVerify) {
  Bytes file = sample_;
  for (uint32_t slot = 0; slot < sif::kDefaultMaxEntries; ++slot) {
    PutU32At(file, kRoot + sif::ChildFieldOffset(slot), 0);
    for (uint32_t word = 0; word < 8; ++word) PutU32At(file, kRoot + sif::BoxOffset(20, 8, slot) + 4 * word, 0);
  }
  PutU32At(file, sif::kObjectCountOffset, 0);
  WriteFileBytes(path_, file);
  {
    auto index = OpenIndex(path_, kUpdate);
    EXPECT_EQ(index->Insert(0, Box(1, 0, 2, 1), 5000), eSifReadError);
  }
  WriteFileBytes(path_, file);
  auto index = OpenIndex(path_, kOpenReadOnly);
  SifStatistics statistics;
  EXPECT_EQ(index->Verify(nullptr, statistics), eSifUnderfullNode);
}

// A tower of `height` levels whose every internal node is full and leads to
// the next one; the leaf holds `leafEntries` entries. All boxes are equal.
Bytes Tower(uint32_t height, uint32_t leafEntries) {
  constexpr uint32_t kInternal = 720, kLeaf = 760;
  Bytes file(512 + (height - 1) * kInternal + kLeaf, 0);
  PutU32At(file, sif::kMagicOffset, sif::kMagic);
  PutU16At(file, sif::kVersionOffset, 2);
  PutU16At(file, sif::kMinimumOffset, 10);
  PutU16At(file, sif::kMaximumOffset, 20);
  PutU16At(file, sif::kHeightOffset, height);
  PutU16At(file, sif::kCoordinateBitsOffset, 64);
  PutU32At(file, sif::kRootOffset, 512);
  PutU32At(file, sif::kObjectCountOffset, leafEntries);
  auto putEntry = [&file](uint32_t block, uint32_t slot, uint32_t child) {
    PutU32At(file, block + 4 * slot, child);
    for (int i = 0; i < 4; ++i) CIndexFile::PutReal(i < 2 ? 0 : 1, 64, file.data() + block + 80 + 32 * slot + 8 * i);
  };
  for (uint32_t level = 0; level + 1 < height; ++level) {
    const uint32_t block = 512 + level * kInternal;
    for (uint32_t slot = 0; slot < 20; ++slot) putEntry(block, slot, block + kInternal);
  }
  for (uint32_t slot = 0; slot < leafEntries; ++slot) putEntry(512 + (height - 1) * kInternal, slot, 2 * (slot + 1));
  return file;
}

// At the height limit no node can split (the pinned path takes every cache
// buffer, and a new root would pass the limit): its own status, nothing changed.
TEST(SifHeightLimit, InsertionThatWouldSplitIsRefusedWithItsOwnStatus) {
  TempDir dir;
  const std::string path = dir.File("tower.sif");
  const Bytes full = Tower(sif::kMaxHeight, 20);
  WriteFileBytes(path, full);
  {
    auto index = OpenIndex(path, kUpdate);
    EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 1000), eSifHeightLimit);
    EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 1002), eSifHeightLimit) << "and again";
    EXPECT_STREQ(StatusName(eSifHeightLimit), "eSifHeightLimit");
  }
  EXPECT_EQ(ToHex(ReadFileBytes(path)), ToHex(full));

  WriteFileBytes(path, Tower(sif::kMaxHeight, 19));  // room in the leaf: no split needed
  {
    auto index = OpenIndex(path, kUpdate);
    EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 1000), kEngineOk);
  }
  WriteFileBytes(path, Tower(sif::kMaxHeight - 1, 20));  // one level below: the root may still split
  auto index = OpenIndex(path, kUpdate);
  EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 1000), kEngineOk);
  EXPECT_EQ(index->GetHeight(), sif::kMaxHeight);
}

TEST_F(SifCorruption, ChildBeyondTheEndOfTheFile) {
  WriteWithRootChild(0, 512 + 40 * 1000);
  ExpectReadsRefused(eSifBadNodePosition);
  ExpectChangesRefused();
}

TEST_F(SifCorruption, ChildWhoseBlockWouldRunPastTheEnd) {
  WriteWithRootChild(0, kSampleSize - 760 + 40);
  ExpectReadsRefused(eSifBadNodePosition);
  ExpectChangesRefused();
}

TEST_F(SifCorruption, ChildOffTheBlockGrid) {
  WriteWithRootChild(0, 512 + 7);
  ExpectReadsRefused(eSifBadNodePosition);
  ExpectChangesRefused();
}

TEST_F(SifCorruption, ChildInsideTheHeader) {
  WriteWithRootChild(0, 40);
  ExpectReadsRefused(eSifBadNodePosition);
}

// A child field naming the root itself: a block inside the file and on the
// grid, but of the level above. Without the level check a descent would never
// end.
TEST_F(SifCorruption, ChildPointingBackAtTheRoot) {
  WriteWithRootChild(0, kRoot);
  ExpectReadsRefused(eSifReadError);
  ExpectChangesRefused();
}

TEST_F(SifCorruption, RootOutsideTheFile) {
  Bytes file = sample_;
  PutU32At(file, sif::kRootOffset, 1u << 30);
  WriteFileBytes(path_, file);
  auto index = OpenIndex(path_, kOpenReadOnly);
  BoundingBoxNode extent{};
  EXPECT_EQ(index->GetBoundingBox(extent), eSifReadError);
  EXPECT_EQ(index->BeginSearch(kEverywhere, 0, true), eSifReadError);
  {
    auto cached = OpenIndex(path_, kOpenReadOnly);
    ASSERT_EQ(cached->SetCacheBudget(1 << 20), BlockIo::kOk);
    EXPECT_EQ(cached->BeginSearch(kEverywhere, 0, true), eSifReadError);
    SifHit hit;
    EXPECT_EQ(cached->GetNextHit(hit.recordPosition, hit.objectType, hit.box), eSifNoSearch);
  }
  SifHit hit;
  EXPECT_EQ(index->GetNextHit(hit.recordPosition, hit.objectType, hit.box), eSifNoSearch);
  SifStatistics statistics;
  EXPECT_EQ(index->Verify(nullptr, statistics), eSifBadNodePosition);
  EXPECT_EQ(index->BeginLeafScan(), eSifReadError);
}

class SifBrokenFreeList : public SifCorruption {
 protected:
  // Appends free leaf blocks at the end of the sample, linked as `links`
  // says (the offset each block's link names), and heads the list with the
  // first of them.
  void WriteFreeLeaves(const std::vector<uint32_t>& links) {
    Bytes file = sample_;
    const uint32_t first = static_cast<uint32_t>(file.size());
    file.resize(file.size() + 760 * links.size(), 0);
    for (size_t i = 0; i < links.size(); ++i) PutU32At(file, first + 760 * i, links[i]);
    PutU32At(file, sif::kFreeLeafOffset, first);
    WriteFileBytes(path_, file);
  }

  static constexpr uint32_t kFirstFree = kSampleSize;

  void ExpectCountedRefused() {
    auto index = OpenIndex(path_, kUpdate);
    SifStatistics statistics;
    EXPECT_EQ(index->Verify(nullptr, statistics), eSifReadError);
    EXPECT_EQ(statistics.leafEntries, 35u) << "the tree itself was walked";
    // Enough insertions into one leaf to need a new leaf block.
    EngineStatus status = kEngineOk;
    for (uint32_t i = 0; i < 30 && status == kEngineOk; ++i) status = index->Insert(0, Box(1, 0, 2, 1), 5000 + 2 * i);
    EXPECT_EQ(status, eSifReadError);
  }
};

TEST_F(SifBrokenFreeList, BlockLinkedToItself) {
  WriteFreeLeaves({kFirstFree});
  ExpectCountedRefused();
}

TEST_F(SifBrokenFreeList, TwoBlocksLinkedInACircle) {
  WriteFreeLeaves({kFirstFree + 760, kFirstFree});
  ExpectCountedRefused();
}

TEST_F(SifBrokenFreeList, LinkLeadingOutOfTheFile) {
  WriteFreeLeaves({kFirstFree + 760, 1u << 30});
  ExpectCountedRefused();
}

TEST_F(SifBrokenFreeList, SoundListIsCountedAndReused) {
  WriteFreeLeaves({kFirstFree + 760, 0});
  auto index = OpenIndex(path_, kUpdate);
  SifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.freeLeafBlocks, 2u);
  const size_t size = ReadFileBytes(path_).size();
  for (uint32_t i = 0; i < 30; ++i) ASSERT_EQ(index->Insert(0, Box(1, 0, 2, 1), 5000 + 2 * i), kEngineOk);
  EXPECT_EQ(ReadFileBytes(path_).size(), size) << "new leaves come from the free list";
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_LT(statistics.freeLeafBlocks, 2u);
}

// A leaf of the tree that is also the whole free list: its entry moved from
// slot 0 to the last slot reads as the same node, and its zero first field
// ends the list. The next leaf taken from the list would overwrite it, so
// Verify refuses the list.
TEST_F(SifBrokenFreeList, FreeBlockStillInTheTreeIsRefusedByVerify) {
  constexpr uint32_t kLeaf = 512;
  constexpr uint32_t kLast = sif::kDefaultMaxEntries - 1;
  Bytes file = sample_;
  ASSERT_LT(DecodeBlock(file, kLeaf, true).size(), sif::kDefaultMaxEntries);
  const auto move = [&file](uint32_t from, uint32_t to, uint32_t bytes) {
    std::copy(file.begin() + kLeaf + from, file.begin() + kLeaf + from + bytes, file.begin() + kLeaf + to);
    std::fill(file.begin() + kLeaf + from, file.begin() + kLeaf + from + bytes, 0);
  };
  move(sif::ChildFieldOffset(0), sif::ChildFieldOffset(kLast), 4);
  move(sif::BoxOffset(20, 8, 0), sif::BoxOffset(20, 8, kLast), 32);
  move(sif::TypeOffset(20, 8, 0), sif::TypeOffset(20, 8, kLast), 2);
  WriteFileBytes(path_, file);
  SifStatistics statistics;
  ASSERT_EQ(OpenIndex(path_, kOpenReadOnly)->Verify(nullptr, statistics), kEngineOk) << "the moved entry is read";
  PutU32At(file, sif::kFreeLeafOffset, kLeaf);
  WriteFileBytes(path_, file);
  EXPECT_EQ(OpenIndex(path_, kOpenReadOnly)->Verify(nullptr, statistics), eSifReadError);
}

}  // namespace
}  // namespace kro::test
