// The index cache budget changes when blocks reach the files, never what the
// files hold: whole sets written with only the 30 node buffers (budget 0),
// with a budget so small that blocks are written back all the time, and with
// the default budget that holds the whole tree, come out byte for byte the
// same.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/keyindex/CKeyIndex.h"
#include "fileset/CGafWriter.h"
#include "fileset/IndexRebuild.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

constexpr int kObjects = 4000;

// Scattered keys and boxes, so that splits and write-backs happen all over
// both trees; a second session appends to the set.
void WriteSet(const std::string& stem, LONG useKif, size_t budget) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(-180, 179), y(-90, 89), step(0, 0.5);
  for (EKroGafOpenFlags mode : {kGafCreateNew, kGafOpenAppend}) {
    CGafWriter writer;
    writer.SetIndexCacheBudget(budget);
    ASSERT_EQ(0u, writer.Open((stem + ".gaf").c_str(), mode, useKif));
    ASSERT_EQ(eKroOk, writer.SetPrecision(64));
    for (int i = 0; i < kObjects / 2; ++i) {
      const double left = x(random), bottom = y(random);
      GafRecord record =
          SinglePartRecord(kGafPolylineObject, {{left, bottom}, {left + step(random), bottom + step(random)}});
      record.name = "n" + std::to_string(i);
      record.key = "k" + std::to_string(random() % 100000);
      ASSERT_EQ(eKroOk, writer.Write(record, nullptr));
    }
    ASSERT_EQ(eKroOk, writer.Finish());
  }
}

TEST(IndexCacheBudget, SetsAreByteIdenticalWhateverTheBudget) {
  const size_t budgets[] = {CGafEngine::kDefaultIndexCacheBudget, 16 * 1024};
  for (LONG useKif : {0, -1}) {
    TempDir dir;
    const std::string reference = dir.File("reference");
    WriteSet(reference, useKif, 0);
    for (size_t budget : budgets) {
      const std::string cached = dir.File("cached" + std::to_string(budget));
      WriteSet(cached, useKif, budget);
      for (const char* extension : {".gaf", ".sif", ".kif"}) {
        if (useKif == 0 && std::string(extension) == ".kif") continue;
        const Bytes expected = ReadFileBytes(reference + extension);
        ASSERT_GT(expected.size(), 512u) << extension;
        EXPECT_TRUE(ReadFileBytes(cached + extension) == expected)
            << extension << " differs with budget " << budget << ", kif " << useKif;
      }
    }
  }
}

// A rebuilt key index keeps its blocks in a cache and writes most of them
// only when it closes. It must come out as one built without a cache, and a
// write that fails, whenever it comes, must fail the rebuild and leave the
// index already at the name as it was, with no temporary file behind.
TEST(IndexCacheBudget, KeyIndexRebuildMatchesAnUncachedBuildAndFailsWholeAtEveryFailedWrite) {
  std::mt19937 random(11);
  std::vector<IndexedRecord> records(3000);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].position = static_cast<uint32_t>(512 + 2 * i);
    records[i].key = "k" + std::to_string(random() % 100000);
  }
  TempDir dir;
  const std::string uncached = dir.File("uncached.kif");
  {
    EngineStatus status = kEngineOk;
    CKeyIndex index(uncached.c_str(), kOpenReadWrite | kOpenCreateTruncate, status);
    ASSERT_EQ(kEngineOk, status);
    for (const IndexedRecord& record : records) ASSERT_EQ(kEngineOk, index.Insert(record.key.c_str(), record.position));
    ASSERT_EQ(kEngineOk, index.Close());
  }
  const std::string name = dir.File("set.kif");
  FaultInjectingFileSystem files;
  uint32_t skipped = 0;
  ASSERT_EQ(kEngineOk, WriteKeyIndex(records, name, skipped, files.Environment()));
  const Bytes built = ReadFileBytes(name);
  EXPECT_TRUE(built == ReadFileBytes(uncached));
  files.ResetCounts();
  ASSERT_EQ(kEngineOk, WriteKeyIndex(records, name, skipped, files.Environment()));
  const uint64_t writes = files.Calls(FileOp::kWrite);
  ASSERT_GT(writes, 2u);
  const Bytes old = {'o', 'l', 'd'};
  for (uint64_t k = 1; k <= writes; ++k) {
    WriteFileBytes(name, old);
    files.FailNth(FileOp::kWrite, k);
    EXPECT_NE(kEngineOk, WriteKeyIndex(records, name, skipped, files.Environment())) << "write " << k;
    files.Disarm();
    EXPECT_TRUE(ReadFileBytes(name) == old) << "write " << k;
    EXPECT_FALSE(FileExists(name + ".rebuild")) << "write " << k;
  }
}

}  // namespace
}  // namespace kro::test
