// Opening, insertion and the shapes it gives the tree.
#include <gtest/gtest.h>

#include "KifFiles.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;

class KifInsertTest : public KifFileTest {
 protected:
  std::unique_ptr<CKeyIndex> Create() { return Open(kCreate); }
  void InsertRange(CKeyIndex& index, int from, int to) {
    for (int i = from; i < to; ++i) ASSERT_EQ(index.Insert(NumberedKey(i).c_str(), 2 * (i + 1)), kEngineOk) << i;
  }
};

TEST_F(KifInsertTest, OpenModes) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadWrite, status);
  EXPECT_EQ(status, eKifCannotOpen) << "a missing file is not created without 16";
  EXPECT_EQ(index->Insert("a", 2), eKifCannotOpen);
  EXPECT_FALSE(FileExists(Path()));
  index = OpenIndex(Path(), kOpenReadWrite | kOpenCreateAlways, status);
  EXPECT_EQ(status, kEngineOk);
  EXPECT_EQ(ReadFileBytes(Path()).size(), 512u);
  ASSERT_EQ(index->Insert("a", 2), kEngineOk);
  index.reset();
  index = OpenIndex(Path(), kOpenReadWrite | kOpenCreateAlways, status);
  EXPECT_EQ(status, kEngineOk);
  EXPECT_EQ(index->GetEntryCount(), 1u) << "an existing file is opened, not created";
  index.reset();
  CKeyIndex unnamed(nullptr, kOpenReadWrite, status);
  EXPECT_EQ(status, eKifCannotOpen);
}

TEST_F(KifInsertTest, TwentyEntriesFillOneLeafAndTheNextSplitsIt) {
  auto index = Create();
  InsertRange(*index, 0, 20);
  EXPECT_EQ(index->Header().height, 1u);
  EXPECT_EQ(index->Header().rootPosition, 512u);
  EXPECT_EQ(index->GetEntryCount(), 20u);
  ASSERT_EQ(index->Insert(NumberedKey(20).c_str(), 42), kEngineOk);
  EXPECT_EQ(index->Header().height, 2u);
  index.reset();

  const Bytes file = ReadFileBytes(Path());
  EXPECT_EQ(LevelCounts(file), (std::vector<std::vector<uint32_t>>{{1}, {10, 10}}));
  const HeaderFields header = DecodeHeader(file);
  EXPECT_EQ(header.entryCount, 21u);
  const Block root = DecodeBlock(file, header.root, true, 20, 32);
  EXPECT_EQ(root.entries, (std::vector<Entry>{{NumberedKey(10), 22}})) << "the 11th smallest pair is promoted";
}

TEST_F(KifInsertTest, SamePairTwiceIsRefusedSameKeyOtherPositionIsNot) {
  auto index = Create();
  ASSERT_EQ(index->Insert("road", 700), kEngineOk);
  EXPECT_EQ(index->Insert("road", 700), eKifDuplicate);
  EXPECT_EQ(index->Insert("road", 800), kEngineOk);
  EXPECT_EQ(index->GetEntryCount(), 2u);
  EXPECT_EQ(index->Insert("road", 0), eKifInvalidParameter) << "0 marks an unused slot";
  // A pair that sits in an internal node is found as well.
  InsertRange(*index, 0, 40);
  EXPECT_EQ(index->Insert(NumberedKey(10).c_str(), 22), eKifDuplicate);
  EXPECT_EQ(index->GetEntryCount(), 42u);
}

TEST_F(KifInsertTest, KeysUpToTheKeyLength) {
  auto index = Create();
  EXPECT_EQ(index->Insert(std::string(33, 'k').c_str(), 2), eKifKeyTooLong);
  EXPECT_EQ(index->Insert(std::string(32, 'k').c_str(), 2), kEngineOk);
  // 16 two-byte characters fill the field exactly.
  std::string wide;
  for (int i = 0; i < 16; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(index->Insert(wide.c_str(), 4), kEngineOk);
  EXPECT_EQ(index->Insert((wide + "a").c_str(), 6), eKifKeyTooLong);
  EXPECT_EQ(index->Insert("", 8), kEngineOk);
  EXPECT_EQ(index->Insert(nullptr, 10), kEngineOk) << "no key is the empty key";
  EXPECT_EQ(SearchAll(*index, ""), (std::vector<uint32_t>{8, 10}));
  EXPECT_EQ(SearchAll(*index, wide), (std::vector<uint32_t>{4}));
  index.reset();
  const Bytes file = ReadFileBytes(Path());
  const Block leaf = DecodeBlock(file, 512, false, 20, 32);
  ASSERT_EQ(leaf.entries.size(), 4u);
  EXPECT_EQ(leaf.entries[0].first, "") << "the empty key sorts first";
}

TEST_F(KifInsertTest, ReadOnlyIndexRefusesChangesAndStaysByteIdentical) {
  {
    auto index = Create();
    InsertRange(*index, 0, 50);
  }
  const Bytes before = ReadFileBytes(Path());
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadOnly, status);
  ASSERT_EQ(status, kEngineOk);
  EXPECT_EQ(index->Insert("new", 2), eKifReadOnly);
  EXPECT_EQ(index->Delete(NumberedKey(3).c_str(), 8), eKifReadOnly);
  EXPECT_EQ(SearchAll(*index, NumberedKey(3)), (std::vector<uint32_t>{8}));
  KifStatistics statistics;
  EXPECT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(index->SetNodeCapacity(4), kEngineOk);
  EXPECT_EQ(index->GetNodeCapacity(), 20u);
  index.reset();
  EXPECT_EQ(ReadFileBytes(Path()), before);
}

TEST_F(KifInsertTest, OverfullLeafLendsToItsLeftSibling) {
  auto index = Create();
  InsertRange(*index, 0, 31);  // leaves of 10 and 20 under one entry
  ASSERT_EQ(index->Insert(NumberedKey(31).c_str(), 64), kEngineOk);  // the right leaf overflows to 21
  index.reset();
  EXPECT_EQ(LevelCounts(ReadFileBytes(Path())), (std::vector<std::vector<uint32_t>>{{1}, {16, 15}}));
}

TEST_F(KifInsertTest, OverfullLeafLendsToItsRightSibling) {
  auto index = Create();
  for (int i = 0; i < 21; ++i) ASSERT_EQ(index->Insert(NumberedKey(100 + 10 * i).c_str(), 2), kEngineOk);
  for (char c = 'a'; c <= 'k'; ++c) ASSERT_EQ(index->Insert((NumberedKey(100) + c).c_str(), 2), kEngineOk);
  index.reset();
  EXPECT_EQ(LevelCounts(ReadFileBytes(Path())), (std::vector<std::vector<uint32_t>>{{1}, {15, 16}}));
}

TEST_F(KifInsertTest, SplitsOnlyWhenNoSiblingHasRoom) {
  auto index = Create();
  InsertRange(*index, 0, 400);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.entries, 400u);
  EXPECT_GT(statistics.fillRatio, 0.7) << "ascending keys fill leaves through redistribution";
  index.reset();
  EngineStatus status;
  index = OpenIndex(Path(), kOpenReadOnly, status);
  for (int i = 0; i < 400; i += 37) EXPECT_EQ(SearchAll(*index, NumberedKey(i)), (std::vector<uint32_t>{2u * (i + 1)}));
}

// A bulk load that is handed an entry it cannot take: each call answers a
// status, the first failure is the answer from then on, and the file is
// never taken for a tree.
class KifBulkRefusalTest : public KifFileTest {
 protected:
  struct Step {
    std::string key;
    uint32_t position;
    EngineStatus expected;
  };

  // Loads `steps` with a loader announced for `count` entries and expects
  // each answer, then Finish's.
  void Load(uint64_t count, const std::vector<Step>& steps, EngineStatus finish, uint32_t capacity = 20,
            uint32_t keyLength = 32) {
    const CGafRawFile files;
    FileHandle file = kInvalidFileHandle;
    ASSERT_TRUE(files.Open(Path().c_str(), kCreate, file));
    KifBulkLoader loader(files, file, count, capacity, keyLength);
    for (size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(loader.Add(steps[i].key.data(), steps[i].key.size(), steps[i].position), steps[i].expected)
          << "entry " << i << " '" << steps[i].key << "'";
    }
    EXPECT_EQ(loader.Finish(), finish);
    EXPECT_EQ(loader.Finish(), finish) << "the same answer again";
    EXPECT_TRUE(files.Close(file));
  }

  void ExpectNoTree() {
    EngineStatus status;
    auto index = OpenIndex(Path(), kOpenReadOnly, status);
    EXPECT_TRUE(status == eKifNotAKif || status == eKifReadError) << StatusName(status);
  }
};

TEST_F(KifBulkRefusalTest, EntriesOutOfOrderOrTwice) {
  const std::vector<std::vector<Step>> cases = {
      {{"b", 2, kEngineOk}, {"a", 4, eKifInvalidParameter}},
      {{"a", 4, kEngineOk}, {"a", 2, eKifInvalidParameter}},
      {{"a", 4, kEngineOk}, {"a", 4, eKifInvalidParameter}},
      {{"ab", 4, kEngineOk}, {"a", 6, eKifInvalidParameter}},
      {{"\xC3\xA9", 4, kEngineOk}, {"z", 6, eKifInvalidParameter}},
      {{std::string("ab\0c", 4), 4, kEngineOk}, {"ab", 4, eKifInvalidParameter}},
  };
  for (std::vector<Step> steps : cases) {
    steps.push_back({"zz", 8, eKifInvalidParameter});  // in order, but the load has failed
    Load(3, steps, eKifInvalidParameter);
    ExpectNoTree();
  }
}

TEST_F(KifBulkRefusalTest, PositionZeroAndKeysOverTheKeyLength) {
  Load(2, {{"a", 0, eKifInvalidParameter}, {"b", 2, eKifInvalidParameter}}, eKifInvalidParameter);
  ExpectNoTree();
  Load(2, {{std::string(33, 'k'), 2, eKifKeyTooLong}, {"l", 2, eKifKeyTooLong}}, eKifKeyTooLong);
  ExpectNoTree();
  std::string wide;
  for (int i = 0; i < 16; ++i) wide += "\xC3\xA9";
  Load(3, {{wide + "a", 2, eKifKeyTooLong}}, eKifKeyTooLong);
  // A key ends at its first zero byte, also when more bytes are given.
  const std::string cut = "cut" + std::string(1, '\0') + std::string(40, 'x');
  Load(3, {{cut, 2, kEngineOk}, {std::string(32, 'k'), 2, kEngineOk}, {wide, 4, kEngineOk}}, kEngineOk);
  auto index = Open(kOpenReadOnly);
  EXPECT_EQ(SearchAll(*index, std::string(32, 'k')), (std::vector<uint32_t>{2}));
  EXPECT_EQ(SearchAll(*index, "cut"), (std::vector<uint32_t>{2}));
  EXPECT_EQ(SearchAll(*index, wide), (std::vector<uint32_t>{4}));
}

TEST_F(KifBulkRefusalTest, ExactlyTheAnnouncedCount) {
  Load(2, {{"a", 2, kEngineOk}, {"b", 2, kEngineOk}, {"c", 2, eKifInvalidParameter}}, eKifInvalidParameter);
  ExpectNoTree();
  Load(3, {{"a", 2, kEngineOk}, {"b", 2, kEngineOk}}, eKifInvalidParameter);
  ExpectNoTree();
  Load(0, {{"a", 2, eKifInvalidParameter}}, eKifInvalidParameter);
  ExpectNoTree();
}

// A finished load takes nothing more and writes nothing more.
TEST_F(KifBulkRefusalTest, AFinishedLoadIsClosed) {
  const CGafRawFile files;
  FileHandle file = kInvalidFileHandle;
  ASSERT_TRUE(files.Open(Path().c_str(), kCreate, file));
  KifBulkLoader loader(files, file, 1);
  ASSERT_EQ(loader.Add("a", 1, 2), kEngineOk);
  ASSERT_EQ(loader.Finish(), kEngineOk);
  const Bytes finished = ReadFileBytes(Path());
  EXPECT_EQ(loader.Add("b", 1, 2), eKifInvalidParameter);
  EXPECT_EQ(loader.Finish(), eKifInvalidParameter);
  EXPECT_TRUE(files.Close(file));
  EXPECT_EQ(ReadFileBytes(Path()), finished);
  auto index = Open(kOpenReadOnly);
  EXPECT_EQ(SearchAll(*index, "a"), (std::vector<uint32_t>{2}));
}

// Shapes no header may give, and counts whose tree would pass the largest
// offset of a file, are refused before anything is written.
TEST_F(KifBulkRefusalTest, ShapesAndCountsNoFileHolds) {
  const std::vector<std::pair<uint32_t, uint32_t>> shapes = {{1, 32}, {21, 32}, {20, 0}, {20, 257}};
  for (const auto& [capacity, keyLength] : shapes) {
    Load(1, {{"a", 2, eKifInvalidParameter}}, eKifInvalidParameter, capacity, keyLength);
    EXPECT_EQ(ReadFileBytes(Path()).size(), 0u) << "capacity " << capacity << ", key length " << keyLength;
  }
  // About 36 bytes an entry at the default shape: 60 million pass 2 GiB.
  for (uint64_t count : {uint64_t{60000000}, uint64_t{1} << 32, ~uint64_t{0}}) {
    Load(count, {{"a", 2, eKifInvalidParameter}}, eKifInvalidParameter);
    EXPECT_EQ(ReadFileBytes(Path()).size(), 0u) << count;
  }
  // The smallest blocks, about 5 bytes an entry; the largest count would
  // need more levels than a walk can hold.
  for (uint64_t count : {uint64_t{1} << 32, ~uint64_t{0}}) {
    Load(count, {{"a", 2, eKifInvalidParameter}}, eKifInvalidParameter, 2, 1);
    EXPECT_EQ(ReadFileBytes(Path()).size(), 0u) << count;
  }
}

}  // namespace
}  // namespace kro::test
