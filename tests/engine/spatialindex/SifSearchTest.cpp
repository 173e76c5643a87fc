// Search: closed boxes, type filters, batches in record-position order, the
// end of a search, 32-bit rounding, and the bounding box of the index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::test {
namespace {

const BoundingBoxNode kEverywhere = Box(-1e300, -1e300, 1e300, 1e300);

TEST(SifSearch, EmptyIndexHasAZeroBoxAndNoHits) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  BoundingBoxNode extent = Box(1, 2, 3, 4);
  EXPECT_EQ(index->GetBoundingBox(extent), kEngineOk);
  EXPECT_EQ(extent, Box(0, 0, 0, 0));

  uint32_t position = 7;
  uint32_t type = 7;
  BoundingBoxNode box{};
  EXPECT_EQ(index->GetNextHit(position, type, box), eSifNoSearch) << "no search begun";
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(type, 0u);
  ASSERT_EQ(index->BeginSearch(kEverywhere, 0, true), kEngineOk);
  EXPECT_EQ(index->GetNextHit(position, type, box), kEngineEndOfResults);
  EXPECT_EQ(index->GetNextHit(position, type, box), eSifNoSearch);
}

TEST(SifSearch, BoxesAreClosedSoEdgesCornersAndPointsMeet) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  ASSERT_EQ(index->Insert(4, Box(0, 0, 10, 10), 100), kEngineOk);
  ASSERT_EQ(index->Insert(0, Box(5, 5, 5, 5), 200), kEngineOk);    // a point
  ASSERT_EQ(index->Insert(2, Box(20, 0, 30, 0), 300), kEngineOk);  // a horizontal segment
  EXPECT_EQ(Positions(SearchAll(*index, Box(10, 10, 15, 15))), std::vector<uint32_t>{100}) << "corner";
  EXPECT_EQ(Positions(SearchAll(*index, Box(-5, 3, 0, 4))), std::vector<uint32_t>{100}) << "left edge";
  EXPECT_EQ(Positions(SearchAll(*index, Box(5, 5, 5, 5))), (std::vector<uint32_t>{100, 200})) << "point query";
  EXPECT_EQ(Positions(SearchAll(*index, Box(25, -1, 26, 0))), std::vector<uint32_t>{300}) << "segment";
  EXPECT_TRUE(SearchAll(*index, Box(10.5, 0, 19.5, 10)).empty()) << "the gap between";
  EXPECT_TRUE(SearchAll(*index, Box(std::nan(""), 0, 100, 100)).empty()) << "a NaN query meets nothing";

  const std::vector<SifHit> hits = SearchAll(*index, Box(0, 0, 30, 10));
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[2].objectType, 2u);
  EXPECT_EQ(hits[2].box, Box(20, 0, 30, 0));
}

TEST(SifSearch, TypeFiltersSelectFamilies) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  for (uint32_t type = 0; type <= 5; ++type) ASSERT_EQ(index->Insert(type, Box(0, 0, 1, 1), 10 + 2 * type), kEngineOk);
  EXPECT_EQ(Positions(SearchAll(*index, kEverywhere, 0)), (std::vector<uint32_t>{10, 12, 14, 16, 18, 20}));
  EXPECT_EQ(Positions(SearchAll(*index, kEverywhere, 1)), (std::vector<uint32_t>{10, 12}));
  EXPECT_EQ(Positions(SearchAll(*index, kEverywhere, 2)), (std::vector<uint32_t>{14, 16}));
  EXPECT_EQ(Positions(SearchAll(*index, kEverywhere, 4)), (std::vector<uint32_t>{18, 20}));
  for (uint32_t filter : {3u, 5u, 6u, 0xFFFFFFFFu}) EXPECT_TRUE(SearchAll(*index, kEverywhere, filter).empty());

  TempDir points;
  auto onlyPoints = OpenIndex(points.File("p.sif"), kCreate);
  for (uint32_t i = 1; i <= 50; ++i) ASSERT_EQ(onlyPoints->Insert(i % 2, Box(i, i, i, i), 2 * i), kEngineOk);
  EXPECT_TRUE(SearchAll(*onlyPoints, kEverywhere, 2).empty());
  EXPECT_EQ(SearchAll(*onlyPoints, kEverywhere, 1).size(), 50u) << "types 0 and 1";
}

TEST(SifSearch, TenThousandHitsComeAsTwoSortedBatches) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  std::vector<uint32_t> positions(10000);
  std::iota(positions.begin(), positions.end(), 1u);
  std::mt19937 random(5);
  std::shuffle(positions.begin(), positions.end(), random);
  for (size_t i = 0; i < positions.size(); ++i) {
    const double x = static_cast<double>(i % 100);
    const double y = static_cast<double>(i / 100);
    ASSERT_EQ(index->Insert(0, Box(x, y, x + 0.5, y + 0.5), 2 * positions[i]), kEngineOk);
  }

  const std::vector<uint32_t> sorted = Positions(SearchAll(*index, kEverywhere, 0, true));
  ASSERT_EQ(sorted.size(), 10000u);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.begin() + 8192));
  EXPECT_TRUE(std::is_sorted(sorted.begin() + 8192, sorted.end()));
  EXPECT_FALSE(std::is_sorted(sorted.begin(), sorted.end())) << "batches are sorted one at a time";

  const std::vector<uint32_t> unsorted = Positions(SearchAll(*index, kEverywhere, 0, false));
  EXPECT_FALSE(std::is_sorted(unsorted.begin(), unsorted.begin() + 8192)) << "tree order without sorting";
  // Each batch holds the same hits whether sorted or not.
  std::vector<uint32_t> first(unsorted.begin(), unsorted.begin() + 8192);
  std::sort(first.begin(), first.end());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), sorted.begin()));

  uint32_t position = 0;
  uint32_t type = 0;
  BoundingBoxNode box{};
  EXPECT_EQ(index->GetNextHit(position, type, box), eSifNoSearch) << "after the end";
}

// A read-only index with a block cache searches its blocks without decoding
// nodes. Whatever the budget (one that holds the tree, one that keeps a few
// blocks and so drops the parents of the node being read), it must hand out
// the hits of the decoded walk in the same order: types, boxes and
// batches (more than 8192 hits) included, in both coordinate widths, and
// after deletions have left free blocks and gaps behind.
TEST(SifSearch, BlockWalkGivesTheHitsOfTheDecodedWalk) {
  for (const uint32_t bits : {64u, 32u}) {
    TempDir dir;
    const std::string path = dir.File("a.sif");
    std::mt19937 random(bits);
    std::uniform_real_distribution<double> x(-180, 179), y(-90, 89), size(0, 2);
    {
      auto index = OpenIndex(path, kCreate);
      ASSERT_EQ(index->SetCoordinateBits(bits), kEngineOk);
      std::vector<BoundingBoxNode> boxes;
      for (uint32_t i = 1; i <= 12000; ++i) {
        const double left = x(random), bottom = y(random);
        boxes.push_back(Box(left, bottom, left + size(random), bottom + size(random)));
        ASSERT_EQ(index->Insert(1u << (i % 3), boxes.back(), 2 * i), kEngineOk);
      }
      for (uint32_t i = 1; i <= 12000; i += 7) {
        // The box the index holds (a 32-bit index holds it rounded).
        BoundingBoxNode stored = boxes[i - 1];
        for (const SifHit& hit : SearchAll(*index, stored)) {
          if (hit.recordPosition == 2 * i) stored = hit.box;
        }
        ASSERT_EQ(index->Delete(stored, 2 * i), kEngineOk);
      }
    }
    auto decoded = OpenIndex(path, kOpenReadOnly);
    for (const size_t budget : {size_t{64} << 20, size_t{4096}}) {
      auto blocks = OpenIndex(path, kOpenReadOnly);
      ASSERT_EQ(blocks->SetCacheBudget(budget), BlockIo::kOk);
      std::vector<BoundingBoxNode> queries = {kEverywhere};
      for (int q = 0; q < 150; ++q) {
        const double left = x(random), bottom = y(random), side = 1 + 20 * size(random);
        queries.push_back(Box(left, bottom, left + side, bottom + side));
      }
      for (const BoundingBoxNode& query : queries) {
        for (const uint32_t filter : {0u, 2u, 4u}) {
          for (const bool sort : {true, false}) {
            const std::vector<SifHit> expected = SearchAll(*decoded, query, filter, sort);
            const std::vector<SifHit> found = SearchAll(*blocks, query, filter, sort);
            ASSERT_EQ(found.size(), expected.size()) << bits << " bits, budget " << budget;
            for (size_t i = 0; i < found.size(); ++i) {
              ASSERT_EQ(found[i].recordPosition, expected[i].recordPosition) << i;
              ASSERT_EQ(found[i].objectType, expected[i].objectType) << i;
              ASSERT_TRUE(std::memcmp(&found[i].box, &expected[i].box, sizeof(BoundingBoxNode)) == 0) << i;
            }
          }
        }
      }
    }
  }
}

TEST(SifSearch, ThirtyTwoBitIndexReturnsBoxesRoundedToSingles) {
  const BoundingBoxNode boxes[] = {Box(0.1, 1.0 / 3, 2.7, 1e10 + 1), Box(-123.456789, 45.000001, -123.4, 45.1)};
  TempDir dir;
  const std::string narrow = dir.File("narrow.sif");
  const std::string wide = dir.File("wide.sif");
  {
    auto index32 = OpenIndex(narrow, kCreate);
    ASSERT_EQ(index32->SetCoordinateBits(32), kEngineOk);
    auto index64 = OpenIndex(wide, kCreate);
    for (uint32_t i = 0; i < 2; ++i) {
      ASSERT_EQ(index32->Insert(4, boxes[i], 2 * (i + 1)), kEngineOk);
      ASSERT_EQ(index64->Insert(4, boxes[i], 2 * (i + 1)), kEngineOk);
    }
    // Before the nodes ever reach the file, the cache already holds singles.
    const std::vector<SifHit> cached = SearchAll(*index32, kEverywhere);
    ASSERT_EQ(cached.size(), 2u);
    EXPECT_EQ(cached[0].box.xMin, static_cast<double>(0.1f));
  }
  auto index32 = OpenIndex(narrow, kOpenReadOnly);
  auto index64 = OpenIndex(wide, kOpenReadOnly);
  const std::vector<SifHit> narrowHits = SearchAll(*index32, kEverywhere);
  const std::vector<SifHit> wideHits = SearchAll(*index64, kEverywhere);
  ASSERT_EQ(narrowHits.size(), 2u);
  ASSERT_EQ(wideHits.size(), 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    const BoundingBoxNode& b = boxes[i];
    EXPECT_EQ(narrowHits[i].box, Box(static_cast<float>(b.xMin), static_cast<float>(b.yMin),
                                     static_cast<float>(b.xMax), static_cast<float>(b.yMax)));
    EXPECT_EQ(wideHits[i].box, b);
  }
  EXPECT_NE(narrowHits[0].box.xMin, 0.1);
}

TEST(SifSearch, BoundingBoxIsTheRootUnionAndLeavesARunningSearchAlone) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  constexpr uint32_t kCount = 9000;
  for (uint32_t i = 1; i <= kCount; ++i) {
    ASSERT_EQ(index->Insert(0, Box(i, -double(i), i + 1, 0), 2 * i), kEngineOk);
  }
  BoundingBoxNode extent{};
  ASSERT_EQ(index->GetBoundingBox(extent), kEngineOk);
  EXPECT_EQ(extent, Box(1, -double(kCount), kCount + 1, 0));

  // Asking for the extent in the middle of a search (the walk holds the root
  // after the first batch of 8192) does not restart it.
  ASSERT_EQ(index->BeginSearch(kEverywhere, 0, false), kEngineOk);
  std::vector<uint32_t> seen;
  SifHit hit;
  while (index->GetNextHit(hit.recordPosition, hit.objectType, hit.box) == kEngineOk) {
    seen.push_back(hit.recordPosition);
    if (seen.size() == 1) {
      ASSERT_EQ(index->GetBoundingBox(extent), kEngineOk);
    }
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen.size(), kCount);
  EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end()) << "no hit twice";
}

// One object whose box has a NaN never meets anything, and the boxes above
// it stay finite, so its neighbours are still found; Verify names the box
// that can never be found.
TEST(SifSearch, NaNBoxDoesNotHideItsNeighbours) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_EQ(index->Insert(0, Box(nan, nan, nan, nan), 2), kEngineOk);
  for (uint32_t i = 2; i <= 60; ++i) ASSERT_EQ(index->Insert(0, Box(i, i, i + 1, i + 1), 2 * i), kEngineOk);
  ASSERT_EQ(index->Insert(0, Box(0, nan, 1, 1), 500), kEngineOk);
  EXPECT_EQ(SearchAll(*index, kEverywhere).size(), 59u);
  BoundingBoxNode extent{};
  ASSERT_EQ(index->GetBoundingBox(extent), kEngineOk);
  EXPECT_EQ(extent, Box(0, 2, 61, 61));
  SifStatistics statistics;
  EXPECT_EQ(index->Verify(nullptr, statistics), eSifNaNBox);
}

TEST(SifSearch, RecordPositionZeroIsRefused) {
  TempDir dir;
  auto index = OpenIndex(dir.File("a.sif"), kCreate);
  EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 0), eSifInvalidParameter);
  EXPECT_EQ(index->GetObjectCount(), 0u);
  EXPECT_EQ(index->GetHeight(), 0u);
}

}  // namespace
}  // namespace kro::test
