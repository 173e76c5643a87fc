// The sort behind ordered exports: entries come back in key order, ties in
// the order added or by the tie rule, whatever the budget and the number of
// runs; run files are gone afterwards, and a failing disk is a status.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/ordering/ExternalSorter.h"
#include "engine/ordering/HilbertCurve.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using test::TempDir;

struct Entry {
  uint64_t key;
  std::string bytes;
  bool operator==(const Entry& other) const { return key == other.key && bytes == other.bytes; }
};

// Sizes from empty to several read buffers (with `large`), so that entries
// straddle them.
std::vector<Entry> RandomEntries(size_t count, uint64_t keys, uint32_t seed, bool large = true) {
  std::mt19937_64 random(seed);
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; ++i) {
    const size_t size = large && random() % 7 == 0 ? random() % 600000 : random() % 40;
    entries.push_back(Entry{random() % keys, std::to_string(i) + std::string(size, static_cast<char>('a' + i % 26))});
  }
  return entries;
}

// Sorts `entries` through a sorter of `budget` bytes; the order it gives.
std::vector<Entry> SortThrough(const CGafRawFile& files, const std::string& stem, const std::vector<Entry>& entries,
                               size_t budget, uint32_t* runs = nullptr) {
  ExternalSorter sorter(files, stem, budget);
  for (const Entry& e : entries) {
    EXPECT_TRUE(sorter.Add(e.key, reinterpret_cast<const uint8_t*>(e.bytes.data()), static_cast<uint32_t>(e.bytes.size())));
  }
  if (runs != nullptr) *runs = sorter.Runs();
  std::vector<Entry> sorted;
  EXPECT_TRUE(sorter.StartReading());
  uint64_t key;
  const uint8_t* bytes;
  uint32_t size;
  while (sorter.Next(key, bytes, size)) sorted.push_back(Entry{key, std::string(reinterpret_cast<const char*>(bytes), size)});
  EXPECT_FALSE(sorter.Error().Failed()) << sorter.Error().Describe();
  return sorted;
}

TEST(ExternalSorter, GivesKeyOrderWithTiesInTheOrderAddedAtEveryBudget) {
  TempDir dir;
  const CGafRawFile files;
  const std::string stem = dir.File("IDFset.gaf.records.");
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const std::vector<Entry> entries = RandomEntries(1000, seed == 4 ? 1 : 50, seed);
    std::vector<Entry> model = entries;
    std::stable_sort(model.begin(), model.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    for (size_t budget : {size_t{4096}, size_t{2} << 20, size_t{1} << 30}) {
      uint32_t runs = 0;
      EXPECT_EQ(model, SortThrough(files, stem, entries, budget, &runs)) << "seed " << seed << ", budget " << budget;
      if (budget == 4096) { EXPECT_GT(runs, 10u); }
      if (budget == size_t{1} << 30) { EXPECT_EQ(0u, runs); }
      EXPECT_FALSE(files.Exists((stem + "0").c_str())) << "the runs are removed";
    }
  }
  EXPECT_TRUE(SortThrough(files, stem, {}, 4096).empty());
}

TEST(ExternalSorter, TheTieRuleOrdersEntriesOfEqualKeys) {
  TempDir dir;
  const CGafRawFile files;
  ExternalSorter sorter(files, dir.File("IDFk."), 1, [](const uint8_t* a, uint32_t sizeA, const uint8_t* b, uint32_t sizeB) {
    return std::string(reinterpret_cast<const char*>(a), sizeA) > std::string(reinterpret_cast<const char*>(b), sizeB);
  });
  const std::vector<std::string> texts = {"b", "d", "a", "c", "e"};
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE(sorter.Add(i % 2, reinterpret_cast<const uint8_t*>(texts[i].data()), 1));
  }
  ASSERT_TRUE(sorter.StartReading());
  std::string order;
  uint64_t key;
  const uint8_t* bytes;
  uint32_t size;
  while (sorter.Next(key, bytes, size)) order += std::to_string(key) + std::string(reinterpret_cast<const char*>(bytes), size);
  EXPECT_EQ("0e0b0a1d1c", order);
}

TEST(ExternalSorter, RunsLeftByASorterThatDidNotEndAreRemovedByTheNext) {
  TempDir dir;
  const CGafRawFile files;
  const std::string stem = dir.File("IDFset.gaf.keys.");
  for (int i = 0; i < 5; ++i) test::WriteFileBytes(stem + std::to_string(i), test::Bytes{1, 2, 3});
  test::WriteFileBytes(stem + "x", test::Bytes{1});
  ExternalSorter::RemoveLeftoverRuns(files, stem);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(files.Exists((stem + std::to_string(i)).c_str()));
  EXPECT_TRUE(files.Exists((stem + "x").c_str())) << "only the numbered runs of the stem";
}

TEST(ExternalSorter, AFailingDiskIsAStatusAndLeavesNoRun) {
  const std::vector<Entry> entries = RandomEntries(60, 20, 9, false);
  for (uint64_t nth = 1;; ++nth) {
    TempDir dir;
    test::FaultInjectingFileSystem faults;
    faults.FailNth(test::FileOp::kAnyIo, nth);
    const CGafRawFile files(faults.Environment());
    const std::string stem = dir.File("IDFs.");
    bool failed = false;
    {
      ExternalSorter sorter(files, stem, 256);
      for (const Entry& e : entries) {
        failed = failed || !sorter.Add(e.key, reinterpret_cast<const uint8_t*>(e.bytes.data()),
                                       static_cast<uint32_t>(e.bytes.size()));
      }
      failed = failed || !sorter.StartReading();
      uint64_t key;
      const uint8_t* bytes;
      uint32_t size;
      size_t read = 0;
      while (!failed && sorter.Next(key, bytes, size)) ++read;
      failed = failed || sorter.Error().Failed();
      if (failed) { EXPECT_FALSE(sorter.Error().reason.empty()); }
      if (!failed) { EXPECT_EQ(entries.size(), read); }
    }
    faults.Disarm();
    EXPECT_FALSE(files.Exists((stem + "0").c_str())) << "call " << nth;
    if (faults.Injected() == 0) break;
    EXPECT_TRUE(failed) << "call " << nth << " failed unnoticed";
  }
}

// Centres near each other get keys near each other more often than not, and
// the key follows the numbers' order along each axis at the curve's start.
TEST(HilbertCurve, KeysFollowTheCurveOverThePlane) {
  EXPECT_EQ(0u, HilbertDistance(0, 0, 1));
  EXPECT_EQ(1u, HilbertDistance(0, 1, 1));
  EXPECT_EQ(2u, HilbertDistance(1, 1, 1));
  EXPECT_EQ(3u, HilbertDistance(1, 0, 1));
  EXPECT_EQ(UINT64_MAX, HilbertDistance(UINT32_MAX, 0, 32));
  const auto key = [](double x, double y) { return PlaneHilbertKey(BoundingBoxNode{x, y, x, y}); };
  EXPECT_EQ(key(0.0, 0.0), key(-0.0, -0.0));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(key(nan, 1), key(1, 1));
  // Neighbours along a row: their keys lie closer than those of far points.
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> coordinate(-170, 170);
  int closer = 0;
  for (int i = 0; i < 1000; ++i) {
    const double x = coordinate(random), y = coordinate(random) / 2;
    const uint64_t here = key(x, y);
    const auto gap = [here](uint64_t other) { return here > other ? here - other : other - here; };
    if (gap(key(x + 0.001, y)) < gap(key(-x, -y))) ++closer;
  }
  EXPECT_GT(closer, 900);
}

}  // namespace
}  // namespace kro
