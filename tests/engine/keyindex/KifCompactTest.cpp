// Compaction: a file without free blocks, the same searches, the same object
// after an abort or a failed replacement.
#include <gtest/gtest.h>

#include "KifFiles.h"
#include "platform/FileSystem.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

// Stops a compaction after a number of progress reports.
class AbortingProgress : public CIndexProgress {
 public:
  explicit AbortingProgress(int reports) : left_(reports) {}
  void SetPosition(double value) override {
    CIndexProgress::SetPosition(value);
    if (--left_ == 0) Abort();
  }

 private:
  int left_;
};

class KifCompactTest : public KifFileTest {
 protected:
  void SetUp() override {
    model = BuildSampleIndex(Path(), 900);
    before = ReadFileBytes(Path());
  }
  TempDir temporaries;
  ScopedTempDirectory scopedTemp{temporaries.path()};
  Model model;
  Bytes before;
};

TEST_F(KifCompactTest, LeavesNoFreeBlocksAndTheSameSearches) {
  auto index = Open(kOpenReadWrite);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  ASSERT_GT(statistics.freeLeafBlocks, 0u) << "the sample has holes";
  CIndexProgress progress;
  ASSERT_EQ(index->Compact(&progress, nullptr), kEngineOk);
  EXPECT_EQ(progress.GetMaximum(), double(model.size()));
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.freeInternalBlocks + statistics.freeLeafBlocks, 0u);
  const uint32_t expectedSize = 512 + statistics.internalNodes * 804 + statistics.leafNodes * 720;
  EXPECT_EQ(index->FileSize(), expectedSize);
  ExpectHoldsExactly(*index, model);
  // Still writable on the new file.
  ASSERT_EQ(index->Insert("after", 2), kEngineOk);
  model.insert({"after", 2});
  EXPECT_EQ(SortedSearch(*index, "after"), (std::vector<uint32_t>{2}));
  ASSERT_EQ(index->Delete("after", 2), kEngineOk);
  model.erase({"after", 2});
  index.reset();

  const Bytes file = ReadFileBytes(Path());
  EXPECT_EQ(file.size(), expectedSize);
  const HeaderFields header = DecodeHeader(file);
  EXPECT_EQ(header.root, 512u) << "the root comes first";
  uint32_t leafEntries = 0;
  const std::vector<std::vector<uint32_t>> levels = LevelCounts(file);
  for (uint32_t count : levels.back()) leafEntries += count;
  EXPECT_EQ(progress.GetPosition(), double(leafEntries)) << "progress counts the entries of the leaves";
  EXPECT_EQ(header.freeInternal, 0u);
  EXPECT_EQ(header.freeLeaf, 0u);
  EXPECT_TRUE(TemporaryFilesStartingWith("IDF").empty());
  index = Open(kOpenReadOnly);
  ExpectHoldsExactly(*index, model);
}

TEST_F(KifCompactTest, EmptyIndexCompactsToItsHeader) {
  EngineStatus status;
  auto index = OpenIndex(dir.File("empty.kif"), kOpenReadWrite | kOpenCreateTruncate, status);
  ASSERT_EQ(index->Insert("a", 2), kEngineOk);
  ASSERT_EQ(index->Delete("a", 2), kEngineOk);
  CIndexProgress progress;
  ASSERT_EQ(index->Compact(&progress, nullptr), kEngineOk);
  EXPECT_EQ(progress.GetPosition(), 100.0);
  EXPECT_EQ(index->FileSize(), 512u);
  EXPECT_EQ(index->Header().freeLeaf, 0u);
  index.reset();
  EXPECT_EQ(ReadFileBytes(dir.File("empty.kif")).size(), 512u);
}

TEST_F(KifCompactTest, ReadOnlyIndexIsCompactedAndStaysReadOnly) {
  auto index = Open(kOpenReadOnly);
  ASSERT_EQ(index->Compact(nullptr, nullptr), kEngineOk);
  EXPECT_LT(index->FileSize(), before.size());
  ExpectHoldsExactly(*index, model);
  EXPECT_EQ(index->Insert("x", 2), eKifReadOnly);
}

TEST_F(KifCompactTest, AbortLeavesTheObjectAndTheFileAsTheyWere) {
  for (int reports : {1, 5, 20}) {
    auto index = Open(kOpenReadWrite);
    AbortingProgress progress(reports);
    EXPECT_EQ(index->Compact(&progress, nullptr), kEngineOk) << "an abort asked for is no failure";
    EXPECT_TRUE(progress.IsAborted());
    EXPECT_EQ(ReadFileBytes(Path()), before);
    EXPECT_TRUE(TemporaryFilesStartingWith("IDF").empty());
    ExpectHoldsExactly(*index, model);
    EXPECT_EQ(index->Header().freeLeaf, DecodeHeader(before).freeLeaf);
    index.reset();
    EXPECT_EQ(ReadFileBytes(Path()), before) << "closing writes back the unchanged header";
  }
}

TEST_F(KifCompactTest, FailedReplacementKeepsTheTemporaryFileOnlyWhenAsked) {
  FaultInjectingFileSystem faults;
  env_ = &faults.Environment();
  for (bool keep : {false, true}) {
    auto index = Open(kOpenReadWrite);
    faults.FailNth(FileOp::kReplace, 1);
    char keepName[kMaxPathBytes] = {};
    EXPECT_EQ(index->Compact(nullptr, keep ? keepName : nullptr), eKifReplaceFailed);
    faults.Disarm();
    EXPECT_EQ(ReadFileBytes(Path()), before);
    ExpectHoldsExactly(*index, model);
    const std::vector<std::string> left = TemporaryFilesStartingWith("IDF");
    if (keep) {
      ASSERT_EQ(left.size(), 1u);
      EXPECT_EQ(std::string(keepName), temporaries.File(left[0]));
      // The kept file is a complete compacted index.
      index.reset();
      EngineStatus status;
      auto kept = OpenIndex(keepName, kOpenReadOnly, status);
      ASSERT_EQ(status, kEngineOk);
      ExpectHoldsExactly(*kept, model);
    } else {
      EXPECT_TRUE(left.empty());
    }
  }
}

}  // namespace
}  // namespace kro::test
