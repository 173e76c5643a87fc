// The block cache under both indexes changes when blocks reach the file,
// never what the file holds: the same run of insertions, deletions (free
// lists), a compaction and a reopening leaves byte-identical files with no
// block cache, with one so small that blocks are written back all the time,
// and with one that holds the whole tree. A 32-bit spatial index, whose
// boxes are rounded on the way to the file, included.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>

#include "engine/indexfile/BlockCache.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;

// Boxes on a grid of eighths, which singles hold exactly.
BoundingBoxNode GridBox(uint32_t i) {
  const double x = static_cast<double>(i * 7919 % 2880) / 8 - 180;
  const double y = static_cast<double>(i * 104729 % 1440) / 8 - 90;
  return BoundingBoxNode{x, y, x + 0.25, y + 0.125};
}

std::string Key(uint32_t i) { return "key" + std::to_string(i * 2654435761u % 1000003u); }

void RunSpatial(const std::string& path, size_t budget, uint32_t bits) {
  const auto session = [&](uint32_t flags, uint32_t first, uint32_t count, bool compact) {
    EngineStatus status = kEngineOk;
    CSpatialIndex index(path.c_str(), flags, status);
    ASSERT_EQ(kEngineOk, status);
    ASSERT_EQ(BlockIo::kOk, index.SetCacheBudget(budget));
    if (flags == kCreate) {
      ASSERT_EQ(kEngineOk, index.SetCoordinateBits(bits));
    }
    for (uint32_t i = first; i < first + count; ++i) {
      ASSERT_EQ(kEngineOk, index.Insert(2, GridBox(i), 2 * i + 2));
    }
    // Every third entry goes again, so blocks go to the free lists and come
    // back from them.
    for (uint32_t i = first; i < first + count; i += 3) {
      ASSERT_EQ(kEngineOk, index.Delete(GridBox(i), 2 * i + 2));
    }
    if (compact) {
      ASSERT_EQ(kEngineOk, index.Compact(nullptr, nullptr));
    }
    for (uint32_t i = first + count; i < first + count + 200; ++i) {
      ASSERT_EQ(kEngineOk, index.Insert(2, GridBox(i), 2 * i + 2));
    }
    SifStatistics statistics;
    EXPECT_EQ(kEngineOk, index.Verify(nullptr, statistics));
  };
  session(kCreate, 0, 3000, false);
  session(kOpenReadWrite, 5000, 1500, true);
  session(kOpenReadWrite, 9000, 600, false);
}

void RunKeys(const std::string& path, size_t budget) {
  const auto session = [&](uint32_t flags, uint32_t first, uint32_t count, bool compact) {
    EngineStatus status = kEngineOk;
    CKeyIndex index(path.c_str(), flags, status);
    ASSERT_EQ(kEngineOk, status);
    ASSERT_EQ(BlockIo::kOk, index.SetCacheBudget(budget));
    for (uint32_t i = first; i < first + count; ++i) {
      ASSERT_EQ(kEngineOk, index.Insert(Key(i).c_str(), 2 * i + 2));
    }
    for (uint32_t i = first; i < first + count; i += 3) {
      ASSERT_EQ(kEngineOk, index.Delete(Key(i).c_str(), 2 * i + 2));
    }
    if (compact) {
      ASSERT_EQ(kEngineOk, index.Compact(nullptr, nullptr));
    }
    for (uint32_t i = first + count; i < first + count + 200; ++i) {
      ASSERT_EQ(kEngineOk, index.Insert(Key(i).c_str(), 2 * i + 2));
    }
    KifStatistics statistics;
    EXPECT_EQ(kEngineOk, index.Verify(nullptr, statistics));
  };
  session(kCreate, 0, 3000, false);
  session(kOpenReadWrite, 5000, 1500, true);
  session(kOpenReadWrite, 9000, 600, false);
}

TEST(BlockCache, IndexFilesAreByteIdenticalWhateverTheBudget) {
  struct Case {
    const char* name;
    std::function<void(const std::string&, size_t)> run;
  };
  const Case cases[] = {
      {"spatial, 64-bit", [](const std::string& path, size_t budget) { RunSpatial(path, budget, 64); }},
      {"spatial, 32-bit", [](const std::string& path, size_t budget) { RunSpatial(path, budget, 32); }},
      {"key", RunKeys},
  };
  const size_t budgets[] = {4096, 64 * 1024, size_t{64} << 20};
  for (const Case& c : cases) {
    TempDir dir;
    const std::string reference = dir.File("reference");
    c.run(reference, 0);
    const Bytes expected = ReadFileBytes(reference);
    ASSERT_GT(expected.size(), 10000u) << c.name;
    for (size_t budget : budgets) {
      const std::string cached = dir.File("cached" + std::to_string(budget));
      c.run(cached, budget);
      EXPECT_TRUE(ReadFileBytes(cached) == expected) << c.name << ", budget " << budget;
    }
  }
}

// Random inserts, finds and drops against a map: every block is found
// under its position until dropped, whatever the probe runs look like.
TEST(BlockCache, FindsWhatItHoldsAcrossInsertsAndDrops) {
  BlockCache cache;
  cache.SetBudget(size_t{1} << 30);
  std::map<uint32_t, unsigned char> model;
  std::mt19937 random(3);
  for (int step = 0; step < 20000; ++step) {
    // Positions on a grain of 40 from 512, as block places are.
    const uint32_t position = 512 + 40 * (random() % 3000);
    if (random() % 3 == 0) {
      cache.Drop(position);
      model.erase(position);
    } else if (model.count(position) == 0) {
      BlockCache::Block* block = cache.Insert(position, 8);
      ASSERT_NE(nullptr, block);
      block->bytes[0] = static_cast<unsigned char>(step);
      model[position] = static_cast<unsigned char>(step);
    }
    ASSERT_EQ(model.size(), cache.Count());
  }
  for (uint32_t position = 512; position < 512 + 40 * 3000; position += 40) {
    BlockCache::Block* block = cache.Find(position);
    const auto expected = model.find(position);
    ASSERT_EQ(expected != model.end(), block != nullptr) << position;
    if (block != nullptr) {
      EXPECT_EQ(expected->second, block->bytes[0]);
    }
  }
}

TEST(BlockCache, ChargedBytesStayWithinTheBudget) {
  TempDir dir;
  EngineStatus status = kEngineOk;
  CSpatialIndex index(dir.File("a.sif").c_str(), kCreate, status);
  ASSERT_EQ(kEngineOk, status);
  const size_t budget = 20 * 1024;
  ASSERT_EQ(BlockIo::kOk, index.SetCacheBudget(budget));
  for (uint32_t i = 0; i < 2000; ++i) {
    ASSERT_EQ(kEngineOk, index.Insert(2, GridBox(i), 2 * i + 2));
    ASSERT_LE(index.CachedBytes(), budget);
  }
  EXPECT_GT(index.CachedBytes(), budget / 2);
  // A smaller budget writes back what no longer fits, at once.
  ASSERT_EQ(BlockIo::kOk, index.SetCacheBudget(512));
  EXPECT_EQ(0u, index.CachedBytes());
}

}  // namespace
}  // namespace kro::test
