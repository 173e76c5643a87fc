// Deletion and its repairs, verification of sound trees, and the settings.
#include <gtest/gtest.h>

#include "KifFiles.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;
using Levels = std::vector<std::vector<uint32_t>>;

class KifDeleteTest : public KifFileTest {
 protected:
  // Leaves of 10 and 10 under a root holding k010 (record position 22).
  std::unique_ptr<CKeyIndex> TwoLeaves() {
    auto index = Open(kCreate);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(index->Insert(NumberedKey(i).c_str(), 2 * (i + 1)), kEngineOk);
    return index;
  }
  Levels ShapeAfterClose(std::unique_ptr<CKeyIndex>& index) {
    index.reset();
    return LevelCounts(ReadFileBytes(Path()));
  }
};

TEST_F(KifDeleteTest, DeletingTheOnlyEntryEmptiesTheIndex) {
  auto index = Open(kCreate);
  EXPECT_EQ(index->Delete("a", 2), eKifNotFound) << "empty tree";
  ASSERT_EQ(index->Insert("a", 2), kEngineOk);
  EXPECT_EQ(index->Delete("a", 4), eKifNotFound) << "the key with another record position";
  ASSERT_EQ(index->Delete("a", 2), kEngineOk);
  EXPECT_EQ(index->Header().height, 0u);
  EXPECT_EQ(index->Header().rootPosition, 0u);
  EXPECT_EQ(index->GetEntryCount(), 0u);
  EXPECT_EQ(index->Header().freeLeaf, 512u);
  EXPECT_TRUE(SearchAll(*index, "a").empty());
  index.reset();
  HeaderFields header = DecodeHeader(ReadFileBytes(Path()));
  EXPECT_EQ(header.freeLeaf, 512u);
  EXPECT_EQ(header.height, 0u);

  index = Open(kOpenReadWrite);
  ASSERT_EQ(index->Insert("b", 6), kEngineOk);
  EXPECT_EQ(index->Header().rootPosition, 512u) << "the freed block is reused";
  EXPECT_EQ(index->Header().freeLeaf, 0u);
  EXPECT_EQ(index->FileSize(), 512u + 720u);
}

TEST_F(KifDeleteTest, InternalEntryIsReplacedByItsSuccessor) {
  auto index = TwoLeaves();
  for (int i = 21; i < 26; ++i) ASSERT_EQ(index->Insert(NumberedKey(i).c_str(), 2 * (i + 1)), kEngineOk);
  ASSERT_EQ(index->Delete(NumberedKey(10).c_str(), 22), kEngineOk);
  EXPECT_EQ(index->GetEntryCount(), 25u);
  index.reset();
  const Bytes file = ReadFileBytes(Path());
  const HeaderFields header = DecodeHeader(file);
  EXPECT_EQ(DecodeBlock(file, header.root, true, 20, 32).entries, (std::vector<Entry>{{NumberedKey(11), 24}}));
  EXPECT_EQ(LevelCounts(file), (Levels{{1}, {10, 14}}));
}

TEST_F(KifDeleteTest, TwoMinimalLeavesMergeIntoTheRoot) {
  auto index = TwoLeaves();
  ASSERT_EQ(index->Delete(NumberedKey(3).c_str(), 8), kEngineOk);
  EXPECT_EQ(index->Header().height, 1u);
  EXPECT_EQ(index->Header().rootPosition, 512u);
  EXPECT_EQ(index->Header().freeLeaf, 1232u);
  EXPECT_EQ(index->Header().freeInternal, 1952u);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.freeLeafBlocks, 1u);
  EXPECT_EQ(statistics.freeInternalBlocks, 1u);
  EXPECT_EQ(statistics.entries, 20u);
  EXPECT_EQ(ShapeAfterClose(index), (Levels{{20}}));
}

TEST_F(KifDeleteTest, UnderfullLeafBorrowsFromARicherSibling) {
  auto index = TwoLeaves();
  ASSERT_EQ(index->Insert((NumberedKey(0) + "a").c_str(), 100), kEngineOk);
  ASSERT_EQ(index->Insert((NumberedKey(0) + "b").c_str(), 100), kEngineOk);
  ASSERT_EQ(index->Delete(NumberedKey(15).c_str(), 32), kEngineOk);  // right leaf 9 beside a left leaf of 12
  EXPECT_EQ(ShapeAfterClose(index), (Levels{{1}, {10, 11}}));

  index = TwoLeaves();
  for (int i = 21; i < 23; ++i) ASSERT_EQ(index->Insert(NumberedKey(i).c_str(), 2 * (i + 1)), kEngineOk);
  ASSERT_EQ(index->Delete(NumberedKey(4).c_str(), 10), kEngineOk);  // left leaf 9 beside a right leaf of 12
  EXPECT_EQ(ShapeAfterClose(index), (Levels{{1}, {11, 10}}));
}

TEST_F(KifDeleteTest, DeletingEverythingInAnyOrderLeavesAnEmptyTree) {
  auto index = Open(kCreate);
  ASSERT_EQ(index->SetNodeCapacity(4), kEngineOk);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(index->Insert(NumberedKey(i % 37).c_str(), 2 * (i + 1)), kEngineOk);
  for (int step = 0; step < 300; ++step) {
    const int i = (step * 113) % 300;
    ASSERT_EQ(index->Delete(NumberedKey(i % 37).c_str(), 2 * (i + 1)), kEngineOk) << step;
    if (step % 25 == 0) {
      KifStatistics statistics;
      ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk) << step;
    }
  }
  EXPECT_EQ(index->Header().height, 0u);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  const uint32_t blocks = (index->FileSize() - 512);
  EXPECT_EQ(statistics.freeLeafBlocks * index->Header().leafBlockSize +
                statistics.freeInternalBlocks * index->Header().internalBlockSize,
            blocks)
      << "every block of the file is back on a free list";
}

TEST_F(KifDeleteTest, VerifyReportsStatisticsAndProgress) {
  auto index = TwoLeaves();
  for (int i = 21; i < 300; ++i) ASSERT_EQ(index->Insert(NumberedKey(i).c_str(), 2 * (i + 1)), kEngineOk);
  CIndexProgress progress;
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(&progress, statistics), kEngineOk);
  EXPECT_EQ(statistics.entries, 300u);
  EXPECT_EQ(statistics.height, index->Header().height);
  EXPECT_EQ(statistics.internalBlockSize, 804u);
  EXPECT_EQ(statistics.leafBlockSize, 720u);
  EXPECT_EQ(statistics.freeInternalBlocks + statistics.freeLeafBlocks, 0u);
  const uint32_t nodes = statistics.internalNodes + statistics.leafNodes;
  EXPECT_EQ((index->FileSize() - 512), statistics.internalNodes * 804u + statistics.leafNodes * 720u);
  EXPECT_DOUBLE_EQ(statistics.fillRatio, 300.0 / (nodes * 20.0));
  EXPECT_EQ(progress.GetMaximum(), 300.0);
  EXPECT_EQ(progress.GetPosition(), 300.0);

  CIndexProgress aborted;
  aborted.Abort();
  EXPECT_EQ(index->Verify(&aborted, statistics), kEngineOk) << "an abort is the caller's wish, not a failure";
  EXPECT_LT(statistics.entries, 300u);

  index.reset();
  auto empty = Open(kCreate);
  CIndexProgress done;
  ASSERT_EQ(empty->Verify(&done, statistics), kEngineOk);
  EXPECT_EQ(done.GetPosition(), 100.0);
  EXPECT_EQ(statistics.fillRatio, 0.0);
}

TEST_F(KifDeleteTest, SettingsChangeOnlyANewEmptyFile) {
  auto index = Open(kCreate);
  EXPECT_EQ(index->SetNodeCapacity(21), eKifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(1), eKifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(0), eKifInvalidParameter);
  EXPECT_EQ(index->SetKeyLength(257), eKifInvalidParameter);
  EXPECT_EQ(index->SetKeyLength(0), eKifInvalidParameter);
  ASSERT_EQ(index->SetKeyLength(64), kEngineOk);
  EXPECT_EQ(GetU16(ReadFileBytes(Path()), 8), 64u) << "the header is written at once";
  EXPECT_EQ(index->GetKeyLength(), 64u);
  EXPECT_EQ(index->Header().leafBlockSize, 20u * 68u);
  EXPECT_EQ(index->Insert(std::string(64, 'k').c_str(), 2), kEngineOk);
  EXPECT_EQ(index->SetNodeCapacity(10), kEngineOk);
  EXPECT_EQ(index->GetNodeCapacity(), 20u) << "an index holding an entry keeps its shape";
  ASSERT_EQ(index->Delete(std::string(64, 'k').c_str(), 2), kEngineOk);
  EXPECT_EQ(index->SetNodeCapacity(10), kEngineOk);
  EXPECT_EQ(index->GetNodeCapacity(), 20u) << "a freed block of the old size still lies in the file";
  index.reset();

  index = Open(kOpenReadWrite);
  EXPECT_EQ(index->GetKeyLength(), 64u);
  index.reset();
  index = Open(kCreate);
  index.reset();
  index = Open(kOpenReadWrite);
  EXPECT_EQ(index->SetKeyLength(16), kEngineOk);
  EXPECT_EQ(index->GetKeyLength(), 32u) << "only a file created by this open changes";
}

}  // namespace
}  // namespace kro::test
