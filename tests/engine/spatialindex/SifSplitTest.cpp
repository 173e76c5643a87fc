// The quadratic split on its own: seeds, preferences, tie rules, and that
// every entry lands in exactly one group within the capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifSplit.h"

namespace kro::test {
namespace {

using sif::SplitGroup;
using sif::SplitList;

std::vector<uint32_t> Members(const SplitGroup& group) {
  return std::vector<uint32_t>(group.members.begin(), group.members.begin() + group.count);
}

// Checks that groups 1 and 2 together hold 0..maximum once each.
void ExpectPartition(const SplitGroup& group1, const SplitGroup& group2, uint32_t maximum) {
  std::vector<uint32_t> all = Members(group1);
  const std::vector<uint32_t> second = Members(group2);
  all.insert(all.end(), second.begin(), second.end());
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), maximum + 1);
  for (uint32_t i = 0; i <= maximum; ++i) ASSERT_EQ(all[i], i);
  EXPECT_LE(group1.count, maximum);
  EXPECT_LE(group2.count, maximum);
}

TEST(SifSplit, SeedsAreTheMostWastefulPairAndTheFirstOnTies) {
  SplitList entries{};
  for (uint32_t i = 0; i < 6; ++i) entries[i].box = Box(10 + i, 10, 11 + i, 11);
  entries[2].box = Box(-100, -100, -99, -99);
  entries[4].box = Box(100, 100, 101, 101);
  const sif::SeedPair seeds = sif::PickSeeds(entries, 6);
  EXPECT_EQ(seeds.first, 2u);
  EXPECT_EQ(seeds.second, 4u);

  SplitList same{};
  for (uint32_t i = 0; i < 21; ++i) same[i].box = Box(1, 1, 2, 2);
  const sif::SeedPair first = sif::PickSeeds(same, 21);
  EXPECT_EQ(first.first, 0u);
  EXPECT_EQ(first.second, 1u);
}

TEST(SifSplit, NextEntryAndItsGroupFollowTheTieRules) {
  SplitList entries{};
  entries[0].box = Box(0, 0, 1, 1);
  entries[1].box = Box(10, 0, 11, 1);
  entries[2].box = Box(1, 0, 2, 1);   // grows group 1 by 1, group 2 by 9
  entries[3].box = Box(5, 0, 6, 1);   // equal growth: smaller area, then count decide
  std::array<bool, sif::kMaxSplitEntries> assigned{};
  assigned[0] = assigned[1] = true;
  SplitGroup group1;
  group1.count = 1;
  group1.box = entries[0].box;
  SplitGroup group2;
  group2.count = 1;
  group2.box = entries[1].box;
  sif::NextPick pick = sif::PickNext(entries, 4, group1, group2, assigned);
  EXPECT_EQ(pick.entry, 2u);
  EXPECT_EQ(pick.group, 1);

  assigned[2] = true;
  pick = sif::PickNext(entries, 4, group1, group2, assigned);
  EXPECT_EQ(pick.entry, 3u);
  EXPECT_EQ(pick.group, 2) << "a full tie goes to group 2";
  group1.count = 0;
  EXPECT_EQ(sif::PickNext(entries, 4, group1, group2, assigned).group, 1) << "the smaller count";
  group1.count = 1;
  group2.box = Box(10, 0, 12, 1);  // growth 5 for both, areas 1 and 2
  EXPECT_EQ(sif::PickNext(entries, 4, group1, group2, assigned).group, 1) << "the smaller area";
  group1.box = Box(4, 0, 5, 3);  // growth 3 against 5, though the larger area
  EXPECT_EQ(sif::PickNext(entries, 4, group1, group2, assigned).group, 1) << "the smaller growth";
  group2.box = Box(6, 0, 7, 1);  // growth 1
  EXPECT_EQ(sif::PickNext(entries, 4, group1, group2, assigned).group, 2) << "the smaller growth";
}

TEST(SifSplit, DefaultCapacitySplitsIntoTenAndEleven) {
  SplitList entries{};
  std::mt19937 random(11);
  std::uniform_real_distribution<double> coordinate(-50, 50);
  for (int trial = 0; trial < 200; ++trial) {
    for (uint32_t i = 0; i <= 20; ++i) {
      const double x = coordinate(random);
      const double y = coordinate(random);
      entries[i].box = trial % 10 == 0 ? Box(1, 1, 1, 1) : Box(x, y, x + 3, y + 2);
    }
    SplitGroup group1;
    SplitGroup group2;
    sif::DistributeEntries(entries, 20, 10, group1, group2);
    ExpectPartition(group1, group2, 20);
    EXPECT_EQ(std::min(group1.count, group2.count), 10u);
  }
}

// With a minimum below half the capacity the main loop can stop with entries
// left that the minimum rule does not place; they still end in a group.
TEST(SifSplit, EveryEntryIsPlacedWhateverTheMinimum) {
  SplitList entries{};
  std::mt19937 random(12);
  std::uniform_real_distribution<double> coordinate(-50, 50);
  for (uint32_t maximum = 2; maximum <= sif::kMaxSlots; ++maximum) {
    for (uint32_t minimum = 1; minimum <= maximum; ++minimum) {
      for (uint32_t i = 0; i <= maximum; ++i) {
        const double x = coordinate(random);
        const double y = coordinate(random);
        entries[i].box = Box(x, y, x + coordinate(random) / 10 + 5, y + 1);
      }
      SplitGroup group1;
      SplitGroup group2;
      sif::DistributeEntries(entries, maximum, minimum, group1, group2);
      ExpectPartition(group1, group2, maximum);
      if (2 * minimum <= maximum) {
        EXPECT_GE(std::min(group1.count, group2.count), minimum) << maximum << " / " << minimum;
      }
      if (HasFailure()) return;
    }
  }
}

TEST(SifSplit, NaNBoxesAreStillPlaced) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SplitList entries{};
  for (uint32_t i = 0; i <= 20; ++i) entries[i].box = i % 3 == 0 ? Box(nan, nan, nan, nan) : Box(i, i, i + 1, i + 1);
  SplitGroup group1;
  SplitGroup group2;
  sif::DistributeEntries(entries, 20, 10, group1, group2);
  ExpectPartition(group1, group2, 20);
  for (uint32_t i = 0; i <= 20; ++i) entries[i].box = Box(nan, 0, nan, 1);
  sif::DistributeEntries(entries, 20, 10, group1, group2);
  ExpectPartition(group1, group2, 20);
}

}  // namespace
}  // namespace kro::test
