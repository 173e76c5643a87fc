// Exact-key search: delivery order, batches, and the end of a search.
#include <gtest/gtest.h>

#include <algorithm>

#include "KifFiles.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;

// The order the walk defines, computed from the file without batches: a
// matching entry, then its left subtree; the last subtree comes last.
void ReferenceWalk(const Bytes& file, const HeaderFields& header, uint32_t position, uint32_t level,
                   const std::string& key, std::vector<uint32_t>& out) {
  const Block block = DecodeBlock(file, position, level > 0, header.capacity, header.keyLength);
  for (size_t i = 0; i < block.entries.size(); ++i) {
    const int order = key.compare(block.entries[i].first);
    if (order > 0) continue;
    if (order == 0) out.push_back(block.entries[i].second);
    if (level == 0) {
      if (order < 0) return;
      continue;
    }
    ReferenceWalk(file, header, block.children[i], level - 1, key, out);
    if (order < 0) return;
  }
  if (level > 0) ReferenceWalk(file, header, block.children.back(), level - 1, key, out);
}

using KifSearchTest = KifFileTest;

TEST_F(KifSearchTest, EmptyIndexEndsAtOnce) {
  auto index = Open(kCreate);
  uint32_t position = 99;
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
  EXPECT_EQ(position, 0u);
  ASSERT_EQ(index->BeginSearch("x"), kEngineOk);
  EXPECT_EQ(index->GetNextMatch(position), kEngineEndOfResults);
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
}

TEST_F(KifSearchTest, MatchInANodeComesBeforeItsLeftSubtree) {
  auto index = Open(kCreate);
  ASSERT_EQ(index->SetNodeCapacity(2), kEngineOk);
  for (uint32_t position : {100u, 500u, 600u, 200u}) ASSERT_EQ(index->Insert("K", position), kEngineOk);
  EXPECT_EQ(SearchAll(*index, "K"), (std::vector<uint32_t>{500, 100, 200, 600}));
  index.reset();
  const Bytes file = ReadFileBytes(Path());
  EXPECT_EQ(LevelCounts(file), (std::vector<std::vector<uint32_t>>{{1}, {2, 1}}));
  const HeaderFields header = DecodeHeader(file);
  EXPECT_EQ(DecodeBlock(file, header.root, true, 2, 32).entries, (std::vector<Entry>{{"K", 500}}));
}

TEST_F(KifSearchTest, ReadsTheSameTreeWrittenElsewhere) {
  // The schematic tree with the default capacity: its leaves are underfull,
  // which a search does not mind.
  KifImage image(HeaderFields{});
  const uint32_t left = image.Append(Block{{{"K", 100}, {"K", 200}}, {}});
  const uint32_t right = image.Append(Block{{{"K", 600}, {"L", 2}}, {}});
  image.header().root = image.Append(Block{{{"K", 500}}, {left, right}});
  image.header().height = 2;
  image.header().entryCount = 5;
  WriteFileBytes(Path(), image.Build());
  auto index = Open(kOpenReadOnly);
  EXPECT_EQ(SearchAll(*index, "K"), (std::vector<uint32_t>{500, 100, 200, 600}));
  EXPECT_EQ(SearchAll(*index, "L"), (std::vector<uint32_t>{2}));
  EXPECT_TRUE(SearchAll(*index, "").empty());
}

TEST_F(KifSearchTest, SixHundredMatchesThenTheEnd) {
  auto index = Open(kCreate);
  for (uint32_t i = 1; i <= 600; ++i) {
    ASSERT_EQ(index->Insert("many", 2 * i), kEngineOk);
    ASSERT_EQ(index->Insert("man", 2 * i), kEngineOk);
    if (i % 3 == 0) { ASSERT_EQ(index->Insert("manz", 2 * i), kEngineOk); }
  }
  ASSERT_EQ(index->BeginSearch("many"), kEngineOk);
  std::vector<uint32_t> found;
  uint32_t position = 0;
  EngineStatus status;
  while ((status = index->GetNextMatch(position)) == kEngineOk) found.push_back(position);
  EXPECT_EQ(status, kEngineEndOfResults);
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
  ASSERT_EQ(found.size(), 600u);
  std::sort(found.begin(), found.end());
  for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(found[i], 2 * (i + 1));
  EXPECT_EQ(SearchAll(*index, "manz").size(), 200u);
}

TEST_F(KifSearchTest, BatchesFollowTheWalkAcrossDeepTrees) {
  auto index = Open(kCreate);
  ASSERT_EQ(index->SetNodeCapacity(3), kEngineOk);
  for (uint32_t i = 1; i <= 1500; ++i) {
    ASSERT_EQ(index->Insert("same", 2 * ((i * 7919) % 1500 + 1)), kEngineOk);
    if (i % 5 == 0) { ASSERT_EQ(index->Insert("samf", 2 * i), kEngineOk); }
    if (i % 7 == 0) { ASSERT_EQ(index->Insert("sam", 2 * i), kEngineOk); }
  }
  index.reset();
  const Bytes file = ReadFileBytes(Path());
  const HeaderFields header = DecodeHeader(file);
  ASSERT_GE(header.height, 5u);
  index = Open(kOpenReadOnly);
  for (const char* key : {"same", "samf", "sam", "samd"}) {
    std::vector<uint32_t> expected;
    ReferenceWalk(file, header, header.root, header.height - 1, key, expected);
    EXPECT_EQ(SearchAll(*index, key), expected) << key;
  }
}

TEST_F(KifSearchTest, PrefixesAndLongKeysFindNothing) {
  auto index = Open(kCreate);
  ASSERT_EQ(index->Insert("abcd", 2), kEngineOk);
  ASSERT_EQ(index->Insert("abce", 4), kEngineOk);
  EXPECT_TRUE(SearchAll(*index, "abc").empty());
  EXPECT_EQ(index->BeginSearch(std::string(33, 'a').c_str()), eKifKeyTooLong);
  uint32_t position;
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
  EXPECT_EQ(SearchAll(*index, "abce"), (std::vector<uint32_t>{4}));
}

TEST_F(KifSearchTest, ChangesEndAnActiveSearch) {
  auto index = Open(kCreate);
  for (uint32_t i = 1; i <= 100; ++i) ASSERT_EQ(index->Insert("k", 2 * i), kEngineOk);
  uint32_t position;
  ASSERT_EQ(index->BeginSearch("k"), kEngineOk);
  ASSERT_EQ(index->GetNextMatch(position), kEngineOk);
  ASSERT_EQ(index->Insert("k", 1000), kEngineOk);
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
  ASSERT_EQ(index->BeginSearch("k"), kEngineOk);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
  EXPECT_EQ(SearchAll(*index, "k").size(), 101u);
}

}  // namespace
}  // namespace kro::test
