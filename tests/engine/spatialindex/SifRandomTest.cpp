// Model-based test: random insertions and deletions against a map of what the
// index must hold. Every few hundred operations Verify must find a sound
// tree, and every search (all type filters, boxes from points to the whole
// extent, touching edges and corners) must return exactly what a brute-force
// scan of the model returns, each batch in record-position order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::test {
namespace {

struct Scenario {
  const char* name;
  uint32_t maximum;
  uint32_t minimum;
  uint32_t coordinateBits;
  int operations;
  int verifyEvery;
  int searchEvery;
};

class RandomRun {
 public:
  RandomRun(const Scenario& scenario, const std::string& path, uint32_t seed)
      : scenario_(scenario), path_(path), random_(seed) {
    index_ = OpenIndex(path, kCreate);
    EXPECT_EQ(index_->SetNodeCapacity(scenario.maximum, scenario.minimum), kEngineOk);
    EXPECT_EQ(index_->SetCoordinateBits(scenario.coordinateBits), kEngineOk);
  }

  void Run() {
    for (int op = 1; op <= scenario_.operations && !::testing::Test::HasFatalFailure(); ++op) {
      if (model_.empty() || Chance(62)) {
        const EngineStatus status = Insert();
        ASSERT_EQ(status, kEngineOk) << scenario_.name << ": height " << index_->GetHeight() << ", "
                                     << model_.size() << " entries";
      } else {
        Delete();
      }
      if (op % scenario_.verifyEvery == 0) VerifyTree(op);
      if (op % scenario_.searchEvery == 0) {
        for (int q = 0; q < 2; ++q) CheckSearch(RandomQuery(), Pick({0, 1, 2, 3, 4, 5}));
      }
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << scenario_.name << ": stopped after operation " << op;
        return;
      }
    }
    CheckEverything();
    // Reopen, compact, reopen: the same answers each time.
    index_.reset();
    index_ = OpenIndex(path_, kUpdate);
    CheckEverything();
    ASSERT_EQ(index_->Compact(nullptr, nullptr), kEngineOk);
    const SifStatistics statistics = CheckEverything();
    EXPECT_EQ(statistics.freeInternalBlocks + statistics.freeLeafBlocks, 0u);
    index_.reset();
    index_ = OpenIndex(path_, kOpenReadOnly);
    CheckEverything();
    index_.reset();
    EXPECT_EQ(ReadFileBytes(path_).size(), kIndexHeaderSize + statistics.internalNodes * statistics.internalBlockSize +
                                               statistics.leafNodes * statistics.leafBlockSize);
  }

  // Runs random insertions and deletions until an insertion fails; returns
  // its status (0 when all `operations` succeeded).
  EngineStatus RunUntilInsertFails() {
    for (int op = 1; op <= scenario_.operations; ++op) {
      if (model_.empty() || Chance(62)) {
        const EngineStatus status = Insert();
        if (status != kEngineOk) return status;
      } else {
        Delete();
      }
      if (::testing::Test::HasFailure()) return kEngineOk;
    }
    return kEngineOk;
  }

  CSpatialIndex& Index() { return *index_; }
  void Reopen(uint32_t flags) {
    index_.reset();
    index_ = OpenIndex(path_, flags);
  }
  SifStatistics CheckEverything() {
    const SifStatistics statistics = VerifyTree(-1);
    for (uint32_t filter : {0u, 1u, 2u, 4u}) CheckSearch(Box(-1e9, -1e9, 1e9, 1e9), filter);
    for (int q = 0; q < 20; ++q) CheckSearch(RandomQuery(), Pick({0, 1, 2, 3, 4, 5}));
    return statistics;
  }

 private:
  bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(random_) < percent; }
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  uint32_t Pick(std::initializer_list<uint32_t> values) {
    return *(values.begin() + Between(0, static_cast<int>(values.size()) - 1));
  }

  // Grid coordinates make touching edges and corners common; the fractions
  // of a 32-bit run are not representable as singles.
  double Coordinate(int grid) const {
    return scenario_.coordinateBits == 32 ? grid + 0.1 : static_cast<double>(grid);
  }

  BoundingBoxNode RandomEntryBox() {
    const int x = Between(-300, 300);
    const int y = Between(-200, 200);
    int w = 0;
    int h = 0;
    const int shape = Between(0, 99);
    if (shape < 20) {
      // a point
    } else if (shape < 35) {
      (Chance(50) ? w : h) = Between(1, 30);  // a segment
    } else if (shape < 97) {
      w = Between(1, 25);
      h = Between(1, 25);
    } else {
      w = Between(50, 300);
      h = Between(50, 200);
    }
    return Box(Coordinate(x), Coordinate(y), Coordinate(x + w), Coordinate(y + h));
  }

  // What the index will hold for `box`: a 32-bit index keeps singles.
  BoundingBoxNode Stored(const BoundingBoxNode& box) const {
    if (scenario_.coordinateBits == 64) return box;
    return Box(static_cast<float>(box.xMin), static_cast<float>(box.yMin), static_cast<float>(box.xMax),
               static_cast<float>(box.yMax));
  }

  BoundingBoxNode RandomQuery() {
    const int kind = Between(0, 9);
    if (kind == 0 || model_.empty()) {
      BoundingBoxNode extent{};
      EXPECT_EQ(index_->GetBoundingBox(extent), kEngineOk);
      return extent;
    }
    const BoundingBoxNode entry = model_.at(positions_[Between(0, static_cast<int>(positions_.size()) - 1)]).box;
    switch (kind) {
      case 1: return entry;                                                     // its own edges
      case 2: return Box(entry.xMax, entry.yMax, entry.xMax + 7, entry.yMax + 3);  // its upper corner
      case 3: return Box(entry.xMin - 5, entry.yMin - 5, entry.xMin, entry.yMin);  // its lower corner
      case 4: return Box(entry.xMin, entry.yMin, entry.xMin, entry.yMin);          // a point
      case 5: return Box(-1e9, -1e9, 1e9, 1e9);
      default: {
        const int x = Between(-320, 320);
        const int y = Between(-220, 220);
        const int size = Between(0, kind * 20);
        return Box(Coordinate(x), Coordinate(y), Coordinate(x + size), Coordinate(y + size));
      }
    }
  }

  EngineStatus Insert() {
    uint32_t position = 0;
    do position = 2 * static_cast<uint32_t>(Between(1, 0x3FFFFFFF));
    while (model_.count(position) != 0);
    const uint32_t type = Pick({0, 1, 2, 3, 4, 5});
    const BoundingBoxNode box = RandomEntryBox();
    const EngineStatus status = index_->Insert(type, box, position);
    if (status != kEngineOk) return status;
    model_[position] = ModelEntry{type, Stored(box)};
    positions_.push_back(position);
    return kEngineOk;
  }

  void Delete() {
    if (Chance(2)) {
      ASSERT_EQ(index_->Delete(Box(-1e9, -1e9, 1e9, 1e9), 1), eSifNotFound);
      return;
    }
    const size_t at = static_cast<size_t>(Between(0, static_cast<int>(positions_.size()) - 1));
    const uint32_t position = positions_[at];
    ASSERT_EQ(index_->Delete(model_.at(position).box, position), kEngineOk) << position;
    model_.erase(position);
    positions_[at] = positions_.back();
    positions_.pop_back();
  }

  SifStatistics VerifyTree(int op) {
    SifStatistics statistics;
    const EngineStatus status = index_->Verify(nullptr, statistics);
    EXPECT_EQ(status, kEngineOk) << scenario_.name << " after operation " << op << ": " << StatusName(status);
    EXPECT_EQ(statistics.leafEntries, model_.size());
    EXPECT_EQ(index_->GetObjectCount(), model_.size());
    EXPECT_LE(index_->GetHeight(), sif::kMaxHeight);
    return statistics;
  }

  void CheckSearch(const BoundingBoxNode& query, uint32_t filter) {
    const std::vector<SifHit> hits = SearchAll(*index_, query, filter, true);
    for (size_t start = 0; start < hits.size(); start += sif::kBatchCapacity) {
      const size_t end = std::min(hits.size(), start + sif::kBatchCapacity);
      for (size_t i = start + 1; i < end; ++i) {
        ASSERT_LT(hits[i - 1].recordPosition, hits[i].recordPosition) << "batch from hit " << start;
      }
    }
    for (const SifHit& hit : hits) {
      const auto found = model_.find(hit.recordPosition);
      ASSERT_NE(found, model_.end()) << hit.recordPosition;
      ASSERT_EQ(hit.objectType, found->second.type);
      ASSERT_EQ(hit.box, found->second.box);
    }
    std::vector<uint32_t> positions = Positions(hits);
    std::sort(positions.begin(), positions.end());
    ASSERT_EQ(positions, BruteForce(model_, query, filter))
        << scenario_.name << ": filter " << filter << ", query " << ::testing::PrintToString(query);
  }

  Scenario scenario_;
  std::string path_;
  std::mt19937 random_;
  std::unique_ptr<CSpatialIndex> index_;
  Model model_;
  std::vector<uint32_t> positions_;
};

void RunScenario(const Scenario& scenario, uint32_t seed) {
  TempDir dir;
  RandomRun run(scenario, dir.File("random.sif"), seed);
  run.Run();
}

// The sanitizer build runs every file call several times slower; it walks a
// shorter sequence of the same kind.
#ifdef __SANITIZE_ADDRESS__
constexpr int kDefaultOperations = 40000;
#else
constexpr int kDefaultOperations = 100000;
#endif

TEST(SifRandom, HundredThousandOperationsWithTheDefaultLayout) {
  RunScenario(Scenario{"default", 20, 10, 64, kDefaultOperations, 300, 300}, 20240601);
}

TEST(SifRandom, ThirtyTwoBitCoordinatesHoldSingles) {
  RunScenario(Scenario{"32-bit", 20, 10, 32, 6000, 100, 50}, 7);
}

// Small capacities give deep trees, many splits and condensations; a minimum
// below half the capacity exercises the split's leftover entries.
TEST(SifRandom, OtherCapacitiesKeepTheTreeSound) {
  const Scenario scenarios[] = {
      {"M=2 m=1", 2, 1, 64, 800, 20, 40},    {"M=3 m=1", 3, 1, 64, 1500, 25, 40},
      {"M=4 m=2", 4, 2, 64, 3000, 25, 40},   {"M=20 m=3", 20, 3, 64, 5000, 50, 50},
      {"M=50 m=25", 50, 25, 64, 6000, 100, 100},
  };
  uint32_t seed = 1;
  for (const Scenario& scenario : scenarios) {
    RunScenario(scenario, seed++);
    if (HasFailure()) return;
  }
}

// With a minimum of 1, single-entry chains survive deletions and the tree
// can deepen without bound; it stops at the 30 levels the cache and path
// stack can hold: the insertion that would need a split there is refused
// with its own status before it changes anything, and the tree stays sound
// and readable.
TEST(SifRandom, DegenerateTreeStopsAtTheDepthTheCacheHolds) {
  TempDir dir;
  RandomRun run(Scenario{"M=2 m=1 to the limit", 2, 1, 64, 20000, 1, 1}, dir.File("deep.sif"), 1);
  const EngineStatus status = run.RunUntilInsertFails();
  ASSERT_EQ(status, eSifHeightLimit) << StatusName(status);
  EXPECT_EQ(run.Index().GetHeight(), sif::kMaxHeight);
  run.CheckEverything();
  run.Reopen(kOpenReadOnly);
  run.CheckEverything();
}

}  // namespace
}  // namespace kro::test
