// Long random runs of insertions and deletions checked against a trivially
// correct model: every few hundred operations the tree must verify and every
// search must return exactly the record positions the model holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "KifFiles.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

struct RandomRun {
  uint32_t capacity;
  uint32_t keyLength;
  int operations;
  size_t targetSize;  // deletions win once the tree holds this many entries
  uint32_t seed;
};

// Keys with many duplicates: the empty key, prefixes of each other, one-,
// two-, three- and four-byte characters, and keys of exactly the key length.
std::vector<std::string> KeyPool(uint32_t keyLength, std::mt19937& random) {
  const std::vector<std::string> pieces = {"a", "b", "Z", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "0"};
  std::vector<std::string> keys = {"", "a", "ab", "abc"};
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
  while (keys.size() < 120) {
    std::string key;
    const bool full = keys.size() % 4 == 0;
    for (;;) {
      const std::string& next = pieces[piece(random)];
      if (key.size() + next.size() > keyLength) break;
      key += next;
      if (!full && random() % 3 == 0) break;
    }
    // Pad to exactly the key length with single bytes when asked.
    while (full && key.size() < keyLength) key += 'x';
    keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

void PrintTo(const RandomRun& run, std::ostream* out) {
  *out << "capacity " << run.capacity << ", key length " << run.keyLength << ", seed " << run.seed;
}

class KifRandomTest : public ::testing::TestWithParam<RandomRun> {
 protected:
  void Open(uint32_t flags) {
    EngineStatus status;
    index = OpenIndex(dir.File("random.kif"), flags, status);
    ASSERT_EQ(status, kEngineOk) << StatusName(status);
  }

  std::vector<uint32_t> Expected(const std::string& key) const {
    std::vector<uint32_t> positions;
    for (auto it = model.lower_bound({key, 0}); it != model.end() && it->first == key; ++it) {
      positions.push_back(it->second);
    }
    return positions;
  }

  void CheckSearch(const std::string& key) {
    EngineStatus end;
    std::vector<uint32_t> found = SearchAll(*index, key, &end);
    ASSERT_EQ(end, kEngineEndOfResults) << StatusName(end);
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found, Expected(key)) << "key '" << key << "'";
  }

  void CheckVerify() {
    KifStatistics statistics;
    ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
    ASSERT_EQ(statistics.entries, model.size());
    ASSERT_EQ(index->GetEntryCount(), model.size());
  }

  TempDir dir;
  std::unique_ptr<CKeyIndex> index;
  std::set<std::pair<std::string, uint32_t>> model;
};

TEST_P(KifRandomTest, MatchesTheModel) {
  const RandomRun run = GetParam();
  std::mt19937 random(run.seed);
  const std::vector<std::string> keys = KeyPool(run.keyLength, random);
  Open(kOpenReadWrite | kOpenCreateTruncate);
  ASSERT_EQ(index->SetNodeCapacity(run.capacity), kEngineOk);
  ASSERT_EQ(index->SetKeyLength(run.keyLength), kEngineOk);

  std::uniform_int_distribution<size_t> pickKey(0, keys.size() - 1);
  std::uniform_int_distribution<uint32_t> pickPosition(1, 4000);
  for (int op = 1; op <= run.operations; ++op) {
    const bool insert = model.empty() || random() % 100 < (model.size() < run.targetSize ? 65u : 35u);
    if (insert) {
      const std::string& key = keys[pickKey(random)];
      const uint32_t position = 2 * pickPosition(random);
      const bool present = model.count({key, position}) != 0;
      ASSERT_EQ(index->Insert(key.c_str(), position), present ? eKifDuplicate : kEngineOk) << "op " << op;
      model.insert({key, position});
    } else if (random() % 10 == 0) {
      const std::string& key = keys[pickKey(random)];
      const uint32_t position = 2 * pickPosition(random) + 1;  // never stored: positions stored are even
      ASSERT_EQ(index->Delete(key.c_str(), position), eKifNotFound) << "op " << op;
    } else {
      auto it = model.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random));
      ASSERT_EQ(index->Delete(it->first.c_str(), it->second), kEngineOk) << "op " << op;
      model.erase(it);
    }
    if (op % 300 == 0) {
      ASSERT_NO_FATAL_FAILURE(CheckVerify()) << "op " << op;
      for (int i = 0; i < 4; ++i) ASSERT_NO_FATAL_FAILURE(CheckSearch(keys[pickKey(random)])) << "op " << op;
    }
    if (op % 25000 == 0) {
      index.reset();
      ASSERT_NO_FATAL_FAILURE(Open(kOpenReadWrite));
    }
  }
  ASSERT_NO_FATAL_FAILURE(CheckVerify());
  for (const std::string& key : keys) ASSERT_NO_FATAL_FAILURE(CheckSearch(key));
  ASSERT_EQ(index->Compact(nullptr, nullptr), kEngineOk);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.freeInternalBlocks + statistics.freeLeafBlocks, 0u);
  for (const std::string& key : keys) ASSERT_NO_FATAL_FAILURE(CheckSearch(key));
}

INSTANTIATE_TEST_SUITE_P(Shapes, KifRandomTest,
                         ::testing::Values(RandomRun{20, 32, 60000, 2500, 7}, RandomRun{3, 9, 40000, 700, 11}),
                         [](const ::testing::TestParamInfo<RandomRun>& info) {
                           return "Capacity" + std::to_string(info.param.capacity) + "KeyLength" +
                                  std::to_string(info.param.keyLength);
                         });

}  // namespace
}  // namespace kro::test
