// gaftool reindex and compact through the real binary: rebuilt indexes, by
// insertion or packed in either order, verify and answer every box query
// exactly as the index the writer built; damage stops both before they
// touch anything.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "engine/spatialindex/SifFormat.h"
#include "fileset/CGafReader.h"
#include "gaftool/GaftoolTestSupport.h"

namespace kro::test {
namespace {

// The record positions a box query through the set's spatial index yields.
std::set<uint32_t> BoxQuery(const std::string& gaf, const BoundingBoxNode& box) {
  CGafReader reader;
  std::set<uint32_t> positions;
  EXPECT_EQ(eKroOk, reader.OpenForRead(gaf.c_str(), kGafReadPartial));
  EXPECT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
  EGafObjectType kind;
  while (reader.NextResult(&kind) == eKroOk) positions.insert(reader.CurrentPosition());
  return positions;
}

std::vector<BoundingBoxNode> QueryBoxes(int count) {
  std::mt19937 random(99);
  std::uniform_real_distribution<double> place(-180, 180);
  std::uniform_real_distribution<double> size(0, 40);
  std::vector<BoundingBoxNode> boxes;
  for (int i = 0; i < count; ++i) {
    const double x = place(random), y = place(random) / 2, w = size(random), h = size(random);
    boxes.push_back({x, y, x + w, y + h});
  }
  return boxes;
}

TEST(GaftoolReindexTest, RebuiltIndexesVerifyAndAnswerLikeTheInsertedOne) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(2500 / kScale, 5);
  const std::string original = directory.File("original.gaf");
  ASSERT_TRUE(WriteSampleSet(original, objects));
  const std::vector<BoundingBoxNode> boxes = QueryBoxes(60);
  std::vector<std::set<uint32_t>> expected;
  for (const BoundingBoxNode& box : boxes) expected.push_back(BoxQuery(original, box));

  const std::vector<std::vector<std::string>> variants = {
      {}, {"--packed"}, {"--packed", "--order", "hilbert"}, {"--packed", "--no-kif"}};
  for (const std::vector<std::string>& variant : variants) {
    SCOPED_TRACE(variant.empty() ? "inserted" : variant.back());
    const std::string stem = directory.File("rebuilt");
    CopySet(directory.File("original"), stem);
    std::remove((stem + ".kif").c_str());
    std::vector<std::string> args = {"reindex", stem + ".gaf", "--quiet"};
    args.insert(args.end(), variant.begin(), variant.end());
    const ToolRun run = RunTool(args);
    ASSERT_EQ(0, run.exitCode) << run.err;
    const bool keyIndexWanted = variant.empty() || variant.back() != "--no-kif";
    EXPECT_EQ(keyIndexWanted, FileExists(stem + ".kif"));
    const ToolRun verify = RunTool({"verify", stem + ".gaf"});
    EXPECT_EQ(0, verify.exitCode) << verify.out;
    for (size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(expected[i], BoxQuery(stem + ".gaf", boxes[i])) << "box " << i;
  }
}

TEST(GaftoolReindexTest, PackedIndexIsSmallerAndNoDeeper) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(4000 / kScale, 6);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects, 0));
  const size_t insertedSize = ReadFileBytes(directory.File("set.sif")).size();
  ASSERT_EQ(0, RunTool({"reindex", gaf, "--packed", "--no-kif"}).exitCode);
  const Bytes packed = ReadFileBytes(directory.File("set.sif"));
  EXPECT_LT(packed.size(), insertedSize);
  // Every block full but the last few of each level: n / M leaves at most.
  EXPECT_LE(packed.size(), 512 + (objects.size() / 20 + 2) * 760 + (objects.size() / 400 + 4) * 720);
}

TEST(GaftoolReindexTest, DamagedDataFileIsLeftToRepair) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(50, 8);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects));
  Truncate(gaf, ReadFileBytes(gaf).size() - 2);
  const Bytes indexBefore = ReadFileBytes(directory.File("set.sif"));
  const ToolRun run = RunTool({"reindex", gaf, "--packed"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("gaftool repair"));
  EXPECT_EQ(indexBefore, ReadFileBytes(directory.File("set.sif")));
}

TEST(GaftoolCompactTest, CompactsSoundIndexesAndRefusesDamagedOnes) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(700, 9);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects));
  const ToolRun run = RunTool({"compact", gaf});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("set.sif: "));
  EXPECT_NE(std::string::npos, run.out.find("set.kif: "));
  EXPECT_EQ(0, RunTool({"verify", gaf}).exitCode);

  PatchU32(directory.File("set.sif"), sif::kObjectCountOffset, 3);
  const Bytes damaged = ReadFileBytes(directory.File("set.sif"));
  EXPECT_EQ(1, RunTool({"compact", gaf}).exitCode);
  EXPECT_EQ(damaged, ReadFileBytes(directory.File("set.sif")));
}

}  // namespace
}  // namespace kro::test
