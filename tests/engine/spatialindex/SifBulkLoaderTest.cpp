// The packed bulk load: the file it writes is an ordinary spatial index that
// the engine opens, verifies, searches and extends; every node but the root
// holds between m and M entries; and every search answers exactly what a
// brute-force scan of the entries answers, in both orders.
#include <gtest/gtest.h>

#include <random>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/spatialindex/SifBulkLoader.h"
#include "engine/spatialindex/SifTestSupport.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

std::vector<SifBulkEntry> RandomEntries(size_t count, unsigned seed, Model& model) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> place(-1000, 1000);
  std::uniform_real_distribution<double> size(0, 30);
  std::vector<SifBulkEntry> entries;
  for (size_t i = 0; i < count; ++i) {
    const double x = place(random), y = place(random);
    const SifBulkEntry e{static_cast<uint32_t>(2 * i + 56), static_cast<uint32_t>(i % 6),
                         Box(x, y, x + size(random), y + size(random))};
    entries.push_back(e);
    model[e.recordPosition] = ModelEntry{e.objectType, e.box};
  }
  return entries;
}

// The streamed load of entries already in leaf order, one at a time.
EngineStatus StreamLoad(const std::string& path, std::vector<SifBulkEntry>& entries) {
  OrderForPacking(entries, SifPackOrder::kHilbert);
  const CGafRawFile files;
  FileHandle file = kInvalidFileHandle;
  if (!files.Open(path.c_str(), kOpenReadWrite | kOpenCreateTruncate, file)) return eSifCannotOpen;
  SifStreamLoader loader(files, file, entries.size());
  EngineStatus status = kEngineOk;
  for (const SifBulkEntry& e : entries) {
    if (status == kEngineOk) status = loader.Add(e);
  }
  if (status == kEngineOk) status = loader.Finish();
  files.Close(file);
  return status;
}

TEST(SifBulkLoaderTest, WritesAVerifiedTreeThatAnswersLikeABruteForceScan) {
  TempDir directory;
  const std::string path = directory.File("packed.sif");
  for (const char* load : {"str", "hilbert", "streamed"}) {
    for (size_t count : {0u, 1u, 20u, 21u, 399u, 400u, 401u, 8011u}) {
      SCOPED_TRACE(std::to_string(count) + " " + load);
      Model model;
      std::vector<SifBulkEntry> entries = RandomEntries(count, static_cast<unsigned>(count), model);
      const std::string how = load;
      ASSERT_EQ(kEngineOk, how == "streamed" ? StreamLoad(path, entries)
                                              : BulkLoadSpatialIndex(path.c_str(), entries,
                                                                     how == "str" ? SifPackOrder::kSortTileRecursive
                                                                                  : SifPackOrder::kHilbert));
      std::unique_ptr<CSpatialIndex> index = OpenIndex(path, kOpenReadOnly);
      SifStatistics statistics;
      ASSERT_EQ(kEngineOk, index->Verify(nullptr, statistics));  // m..M entries, exact unions, counts
      EXPECT_EQ(count, index->GetObjectCount());
      EXPECT_EQ(0u, statistics.freeInternalBlocks + statistics.freeLeafBlocks);
      EXPECT_EQ((count + 19) / 20, statistics.leafNodes);
      std::mt19937 random(1);
      std::uniform_real_distribution<double> place(-1100, 1100);
      for (int q = 0; q < 40; ++q) {
        const double x = place(random), y = place(random);
        const BoundingBoxNode box = Box(x, y, x + 150, y + 90);
        for (uint32_t filter : {0u, 4u}) {
          EXPECT_EQ(BruteForce(model, box, filter), Positions(SearchAll(*index, box, filter)));
        }
      }
    }
  }
}

// A read-only search with a block cache reads the children it enters of a
// packed node together: far fewer reads than leaves, the same answers
// whatever the budget, and a failed read is a failed search.
TEST(SifBulkLoaderTest, ChildrenOfAPackedNodeComeInWithOneRead) {
  TempDir directory;
  const std::string path = directory.File("packed.sif");
  Model model;
  std::vector<SifBulkEntry> entries = RandomEntries(8011, 7, model);
  ASSERT_EQ(kEngineOk, BulkLoadSpatialIndex(path.c_str(), entries, SifPackOrder::kHilbert));
  const BoundingBoxNode box = Box(-600, -500, 300, 200);
  const std::vector<uint32_t> expected = BruteForce(model, box, 0);
  ASSERT_GT(expected.size(), 1000u);
  for (const size_t budget : {size_t{4096}, size_t{1} << 20}) {
    SCOPED_TRACE(budget);
    FaultInjectingFileSystem files;
    std::unique_ptr<CSpatialIndex> index = OpenIndex(path, kOpenReadOnly, files.Environment());
    ASSERT_EQ(BlockIo::kOk, index->SetCacheBudget(budget));
    files.ResetCounts();
    EXPECT_EQ(expected, Positions(SearchAll(*index, box)));
    const uint64_t reads = files.Calls(FileOp::kRead);
    // At least expected / 20 leaves hold the hits.
    if (budget > 4096) {
      EXPECT_LT(reads, expected.size() / 60);
      // A read-only search keeps its leaves out of the cache; one that may
      // write caches them as it reads them.
      const size_t readOnlyCached = index->CachedBytes();
      EXPECT_EQ(expected, Positions(SearchAll(*index, box))) << "a second search reads the held leaves again";
      index.reset();
      std::unique_ptr<CSpatialIndex> writable = OpenIndex(path, kOpenReadWrite);
      ASSERT_EQ(BlockIo::kOk, writable->SetCacheBudget(budget));
      EXPECT_EQ(expected, Positions(SearchAll(*writable, box)));
      EXPECT_LT(2 * readOnlyCached, writable->CachedBytes());
    }
    for (uint64_t k = 1; k <= reads; ++k) {
      std::unique_ptr<CSpatialIndex> fresh = OpenIndex(path, kOpenReadOnly, files.Environment());
      ASSERT_EQ(BlockIo::kOk, fresh->SetCacheBudget(budget));
      files.FailNth(FileOp::kRead, k);
      std::vector<SifHit> hits;
      EngineStatus status = fresh->BeginSearch(box, 0, false);
      SifHit hit;
      while (status == kEngineOk && (status = fresh->GetNextHit(hit.recordPosition, hit.objectType, hit.box)) ==
                                        kEngineOk) {
        hits.push_back(hit);
      }
      EXPECT_EQ(eSifReadError, status) << "read " << k;
      files.Disarm();
    }
  }
}

TEST(SifBulkLoaderTest, ThePackedFileTakesFurtherInsertions) {
  TempDir directory;
  const std::string path = directory.File("packed.sif");
  Model model;
  std::vector<SifBulkEntry> entries = RandomEntries(1000, 4, model);
  ASSERT_EQ(kEngineOk, BulkLoadSpatialIndex(path.c_str(), entries, SifPackOrder::kSortTileRecursive));
  {
    std::unique_ptr<CSpatialIndex> index = OpenIndex(path, kOpenReadWrite);
    for (uint32_t i = 0; i < 300; ++i) {
      const BoundingBoxNode box = Box(i, i, i + 2.0, i + 1.0);
      ASSERT_EQ(kEngineOk, index->Insert(2, box, 100000 + 2 * i));
      model[100000 + 2 * i] = ModelEntry{2, box};
    }
  }
  std::unique_ptr<CSpatialIndex> index = OpenIndex(path, kOpenReadOnly);
  SifStatistics statistics;
  EXPECT_EQ(kEngineOk, index->Verify(nullptr, statistics));
  EXPECT_EQ(BruteForce(model, Box(-50, -50, 400, 400), 0), Positions(SearchAll(*index, Box(-50, -50, 400, 400))));
}

// A streamed load refuses what would not make the tree it announced.
TEST(SifBulkLoaderTest, AStreamedLoadTakesExactlyItsCountOfEntries) {
  TempDir directory;
  const CGafRawFile files;
  for (int added : {0, 1, 2}) {
    FileHandle file = kInvalidFileHandle;
    ASSERT_TRUE(files.Open(directory.File("s.sif").c_str(), kOpenReadWrite | kOpenCreateTruncate, file));
    SifStreamLoader loader(files, file, 1);
    EngineStatus status = kEngineOk;
    for (int i = 0; i < added; ++i) status = loader.Add(SifBulkEntry{56, 0, Box(0, 0, 1, 1)});
    const EngineStatus finished = loader.Finish();
    EXPECT_EQ(added == 1 ? kEngineOk : eSifInvalidParameter, added == 2 ? status : finished) << added;
    files.Close(file);
  }
  FileHandle file = kInvalidFileHandle;
  ASSERT_TRUE(files.Open(directory.File("z.sif").c_str(), kOpenReadWrite | kOpenCreateTruncate, file));
  SifStreamLoader loader(files, file, 1);
  EXPECT_EQ(eSifInvalidParameter, loader.Add(SifBulkEntry{0, 0, Box(0, 0, 1, 1)}));
  files.Close(file);
}

TEST(SifBulkLoaderTest, RefusesRecordPositionZero) {
  TempDir directory;
  std::vector<SifBulkEntry> entries = {SifBulkEntry{0, 0, Box(0, 0, 1, 1)}};
  EXPECT_EQ(eSifInvalidParameter,
            BulkLoadSpatialIndex(directory.File("x.sif").c_str(), entries, SifPackOrder::kSortTileRecursive));
  EXPECT_EQ(eSifCannotOpen,
            BulkLoadSpatialIndex(directory.File("missing/x.sif").c_str(), entries = {SifBulkEntry{2, 0, Box(0, 0, 1, 1)}},
                                 SifPackOrder::kHilbert));
}

}  // namespace
}  // namespace kro::test
