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

// Bulk loads of random entry sets, in the index's order, checked against
// the set itself: the tree verifies, every key finds exactly its positions,
// the nodes are as full as the count allows and the file holds nothing but
// the tree; then the loaded index takes insertions and deletions like any
// other.
enum class KeyChoice { kPool, kDistinct, kOneKey };

struct BulkRun {
  uint32_t capacity;
  uint32_t keyLength;
  size_t count;
  KeyChoice keys;
};

void PrintTo(const BulkRun& run, std::ostream* out) {
  *out << run.count << " entries, capacity " << run.capacity << ", key length " << run.keyLength << ", keys "
       << static_cast<int>(run.keys);
}

class KifBulkLoadTest : public ::testing::TestWithParam<BulkRun> {
 protected:
  std::string Path() const { return dir.File("bulk.kif"); }

  // `count` distinct pairs over the keys `choice` gives, in the index's order.
  std::vector<Entry> RandomEntries(const BulkRun& run, std::mt19937& random) {
    std::vector<std::string> keys = KeyPool(run.keyLength, random);
    if (run.keys == KeyChoice::kOneKey) keys = {keys.back()};
    std::uniform_int_distribution<size_t> pickKey(0, keys.size() - 1);
    std::uniform_int_distribution<uint32_t> pickPosition(1, 0x7FFFFFFF);
    while (model.size() < run.count) {
      const std::string key = run.keys == KeyChoice::kDistinct ? DistinctKey(model.size(), run.keyLength)
                                                               : keys[pickKey(random)];
      model.insert({key, 2 * pickPosition(random)});
    }
    searched = run.keys == KeyChoice::kDistinct ? std::vector<std::string>{} : keys;
    searched.push_back(std::string("absent").substr(0, run.keyLength));
    return std::vector<Entry>(model.begin(), model.end());
  }

  // Keys of up to 5 bytes in scattered order, with bytes above 0x7F.
  static std::string DistinctKey(size_t i, uint32_t keyLength) {
    std::string key;
    for (uint64_t n = (i + 1) * 2654435761u % 4294967291u; n != 0 && key.size() < keyLength; n /= 200) {
      key += static_cast<char>(1 + n % 200 + (n % 200 >= 0x7F ? 55 : 0));
    }
    return key;
  }

  // Returns Verify's statistics.
  KifStatistics ExpectHoldsTheModel(CKeyIndex& index, size_t sampled) {
    KifStatistics statistics;
    EXPECT_EQ(index.Verify(nullptr, statistics), kEngineOk);
    EXPECT_EQ(statistics.entries, model.size());
    for (const std::string& key : searched) EXPECT_EQ(SortedSearch(index, key), ModelPositions(model, key)) << key;
    // Keys spread over the whole set.
    std::vector<std::string> keys;
    for (const Entry& entry : model) {
      if (keys.empty() || keys.back() != entry.first) keys.push_back(entry.first);
    }
    const size_t step = std::max<size_t>(1, keys.size() / std::max<size_t>(1, sampled));
    for (size_t i = 0; i < keys.size() && !HasFailure(); i += step) {
      EXPECT_EQ(SortedSearch(index, keys[i]), ModelPositions(model, keys[i])) << keys[i];
    }
    return statistics;
  }

  TempDir dir;
  Model model;
  std::vector<std::string> searched;
};

// The fewest levels that hold `count` entries: (M + 1)^h - 1 >= count.
uint32_t LeastHeight(size_t count, uint32_t capacity) {
  uint32_t height = 0;
  for (uint64_t held = 0; held < count; held = held * (capacity + 1) + capacity) ++height;
  return height;
}

// Each level, walked in the file: every node full but the last two, which
// keep m (the root 1 .. M); and the file is the header and those blocks.
void ExpectDenseLevels(const Bytes& file, uint32_t capacity, uint32_t keyLength) {
  const std::vector<std::vector<uint32_t>> levels = LevelCounts(file);
  size_t blocks = 0;
  for (size_t depth = 0; depth < levels.size(); ++depth) {
    const std::vector<uint32_t>& counts = levels[depth];
    const bool leaf = depth + 1 == levels.size();
    blocks += counts.size() * (leaf ? capacity * (keyLength + 4) : capacity * (keyLength + 8) + 4);
    for (size_t i = 0; i < counts.size(); ++i) {
      const uint32_t least = depth == 0 ? 1 : capacity / 2;
      EXPECT_TRUE(counts[i] >= least && counts[i] <= capacity) << "depth " << depth << " node " << i;
      if (i + 2 < counts.size()) {
        EXPECT_EQ(counts[i], capacity) << "depth " << depth << " node " << i;
      }
    }
  }
  EXPECT_EQ(file.size(), 512 + blocks) << "no block outside the tree";
}

TEST_P(KifBulkLoadTest, HoldsExactlyItsEntriesInFullNodes) {
  const BulkRun run = GetParam();
  std::mt19937 random(static_cast<uint32_t>(run.count * 31 + run.capacity));
  const std::vector<Entry> entries = RandomEntries(run, random);
  ASSERT_EQ(BulkLoad(Path(), entries, Env::Default(), run.capacity, run.keyLength), kEngineOk);
  const Bytes file = ReadFileBytes(Path());
  ASSERT_NO_FATAL_FAILURE(ExpectDenseLevels(file, run.capacity, run.keyLength));
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadOnly, status);
  ASSERT_EQ(status, kEngineOk) << StatusName(status);
  EXPECT_EQ(index->Header().height, LeastHeight(run.count, run.capacity));
  const KifStatistics statistics = ExpectHoldsTheModel(*index, 2000);
  EXPECT_EQ(statistics.freeInternalBlocks + statistics.freeLeafBlocks, 0u);
}

TEST_P(KifBulkLoadTest, TakesInsertionsAndDeletionsAfterwards) {
  const BulkRun run = GetParam();
  std::mt19937 random(static_cast<uint32_t>(run.count * 17 + run.capacity));
  const std::vector<Entry> entries = RandomEntries(run, random);
  ASSERT_EQ(BulkLoad(Path(), entries, Env::Default(), run.capacity, run.keyLength), kEngineOk);
  {
    EngineStatus status;
    auto index = OpenIndex(Path(), kOpenReadWrite, status);
    ASSERT_EQ(status, kEngineOk) << StatusName(status);
    // Odd positions are new: the loaded ones are even.
    for (size_t i = 0; i < std::min<size_t>(run.count / 3, 3000) + 5; ++i) {
      const Entry added{entries.empty() ? "new" : entries[random() % entries.size()].first, 2 * uint32_t(i) + 1};
      ASSERT_EQ(index->Insert(added.first.c_str(), added.second), kEngineOk) << i;
      model.insert(added);
      if (entries.empty()) continue;
      const Entry& gone = entries[random() % entries.size()];
      ASSERT_EQ(index->Delete(gone.first.c_str(), gone.second), model.erase(gone) ? kEngineOk : eKifNotFound) << i;
    }
    searched.push_back("new");
    ExpectHoldsTheModel(*index, 500);
  }
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadOnly, status);
  ASSERT_EQ(status, kEngineOk) << StatusName(status);
  ExpectHoldsTheModel(*index, 500);
}

std::vector<BulkRun> BulkRuns() {
  std::vector<BulkRun> runs;
  // Around each level boundary of M = 20 ((M + 1)^h - 1: 20, 440, 9260,
  // 194480) and where the last node of a level falls below m.
  for (size_t count : {0, 1, 2, 10, 19, 20, 21, 30, 31, 40, 41, 42, 230, 439, 440, 441, 451, 452, 9259, 9260, 9261,
                       194480, 194481}) {
    runs.push_back({20, 32, count, count > 50000 ? KeyChoice::kDistinct : KeyChoice::kPool});
  }
  runs.push_back({20, 32, 9261, KeyChoice::kDistinct});
  runs.push_back({20, 32, 5000, KeyChoice::kOneKey});
  runs.push_back({20, 4, 3000, KeyChoice::kPool});
  // Small capacities reach many levels: every count up to past the fourth
  // boundary of M = 3 (4^4 - 1 = 255) and the fifth of M = 2 (242), and a
  // tree of height 10.
  for (size_t count = 1; count <= 300; ++count) {
    runs.push_back({3, 9, count, KeyChoice::kPool});
    runs.push_back({2, 5, count, count % 2 ? KeyChoice::kPool : KeyChoice::kOneKey});
  }
  runs.push_back({2, 6, 59048, KeyChoice::kDistinct});
  runs.push_back({2, 6, 59049, KeyChoice::kDistinct});
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Counts, KifBulkLoadTest, ::testing::ValuesIn(BulkRuns()),
                         [](const ::testing::TestParamInfo<BulkRun>& info) {
                           return std::to_string(info.param.count) + "EntriesCapacity" +
                                  std::to_string(info.param.capacity) + "KeyLength" +
                                  std::to_string(info.param.keyLength) + "Keys" +
                                  std::to_string(static_cast<int>(info.param.keys));
                         });

}  // namespace
}  // namespace kro::test
