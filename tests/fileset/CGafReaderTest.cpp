// Reading a file set through the facade: the header values, the sequential
// scan, the box search and the rules of a pass.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/datafile/GafCoordSys.h"
#include "fileset/FacadeTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class CGafReaderTest : public ::testing::Test {
 protected:
  // A set of `count` polylines "k<i>" laid out on a grid, 97 to a row.
  void MakeSet(int count) {
    CGafWriter writer;
    CreateSet(writer, Stem());
    WriteLines(writer, count);
  }
  std::string Stem() const { return dir_.File("set"); }
  std::string DataFile() const { return Stem() + ".gaf"; }
  TempDir dir_;
};

TEST_F(CGafReaderTest, OnlyTheTwoReadModesOpen) {
  MakeSet(1);
  for (EKroGafOpenFlags mode : {kGafUnknownStatus, kGafOpenUpdate, kGafCreateNew, kGafOpenAppend}) {
    CGafReader reader;
    EXPECT_EQ(eKroUnableToOpen, reader.OpenForRead(DataFile().c_str(), mode));
    EXPECT_FALSE(reader.IsOpen());
  }
  EXPECT_EQ(1, CountsOf(Stem()).dataFile);
  CGafReader reader;
  EXPECT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
}

TEST_F(CGafReaderTest, NothingIsReadOutsideAPass) {
  CGafReader reader;
  BoundingBoxNode box{};
  EXPECT_EQ(eKroFailObtainBoundingBox, reader.GetBoundingBox(&box));
  const char* name = "unchanged";
  EXPECT_EQ(eKroFailObtainBoundingBox, reader.GetCoordSysName(&name));
  EXPECT_STREQ("", name);
  EXPECT_EQ(0, reader.GetNumberOfObjects());
  EXPECT_EQ(0, reader.HasMetaData());
  EXPECT_EQ(eKroReadError, reader.BeginSequential());
  EXPECT_EQ(eKroReadError, reader.BeginSpatialSearch(&box));

  MakeSet(2);
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  EGafObjectType kind = kGafUndefinedObject;
  EXPECT_EQ(eKroReadError, reader.NextResult(&kind));
  const char *key, *url;
  const CKroDoublePointNode* xy = nullptr;
  EXPECT_EQ(eKroIllegalFunctionCall, reader.ReadPoint(name, key, url, xy));
  EXPECT_EQ(eKroIllegalFunctionCall, reader.EndSearch());
  EXPECT_EQ(eKroInvalidParameter, reader.BeginSpatialSearch(nullptr));
}

TEST_F(CGafReaderTest, HeaderValuesOfTheSet) {
  {
    CGafWriter writer;
    CreateSet(writer, Stem());
    GafCoordSys record;
    GafCoordSys::SetText(record.code, "UTM33");
    ASSERT_EQ(eKroOk, writer.SetCoordSys(&record));
    WriteLines(writer, 3);
  }
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  EXPECT_EQ(3, reader.GetNumberOfObjects());
  EXPECT_EQ(1, reader.HasMetaData());
  const char* name = nullptr;
  ASSERT_EQ(eKroOk, reader.GetCoordSysName(&name));
  EXPECT_STREQ("UTM33", name);
  GafCoordSys copy;
  GafCoordSys::SetText(copy.code, "none");
  ASSERT_EQ(eKroOk, reader.CopyCoordSys(&copy));
  EXPECT_STREQ("UTM33", copy.code);
  BoundingBoxNode box{};
  ASSERT_EQ(eKroOk, reader.GetBoundingBox(&box));
  EXPECT_EQ(0, box.xMin);
  EXPECT_EQ(3, box.xMax);
  EXPECT_EQ(2, box.yMax);
}

TEST_F(CGafReaderTest, SequentialScanPassesOverRecordsThatAreNotRead) {
  MakeSet(5);
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  ASSERT_EQ(eKroOk, reader.BeginSequential());
  EGafObjectType kind = kGafUndefinedObject;
  ASSERT_EQ(eKroOk, reader.NextResult(&kind));
  ASSERT_EQ(eKroOk, reader.NextResult(&kind));
  const char *name, *key, *url;
  int32_t count = 0;
  const CKroDoublePointNode* points = nullptr;
  ASSERT_EQ(eKroOk, reader.ReadPolyline(name, key, url, count, points));
  EXPECT_STREQ("k1", key);
  EXPECT_EQ(2, count);
  // A reader of another kind is refused.
  ASSERT_EQ(eKroOk, reader.NextResult(&kind));
  const CKroDoublePointNode* xy = nullptr;
  EXPECT_EQ(eKroReadError, reader.ReadPoint(name, key, url, xy));
  const EngineError error = reader.LastError();
  EXPECT_EQ(eGafWrongType, error.status);
  EXPECT_EQ(DataFile(), error.file);
  EXPECT_EQ(reader.CurrentPosition(), error.offset) << error.Describe();
}

TEST_F(CGafReaderTest, EndOfAPassAndAFreshStart) {
  MakeSet(3);
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  ASSERT_EQ(eKroOk, reader.BeginSequential());
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 2}), PassKeyNumbers(reader));
  EGafObjectType kind = kGafUndefinedObject;
  EXPECT_EQ(eKroEndOfGaf, reader.NextResult(&kind));
  EXPECT_EQ(eKroOk, reader.EndSearch());
  EXPECT_EQ(eKroIllegalFunctionCall, reader.EndSearch());
  ASSERT_EQ(eKroOk, reader.BeginSequential());
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 2}), PassKeyNumbers(reader));
}

TEST_F(CGafReaderTest, BoxSearchFindsWhatMeetsTheBox) {
  MakeSet(300);
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
  // Line i runs from (i % 97, i / 97) to (i % 97 + 1, i / 97 + 2).
  const BoundingBoxNode box{10.5, 1, 12, 1.5};
  ASSERT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
  std::vector<uint32_t> found = PassKeyNumbers(reader);
  std::sort(found.begin(), found.end());
  std::vector<uint32_t> expected;
  for (uint32_t i = 0; i < 300; ++i) {
    const double x = i % 97, y = i / 97;
    if (x <= box.xMax && x + 1 >= box.xMin && y <= box.yMax && y + 2 >= box.yMin) expected.push_back(i);
  }
  EXPECT_EQ(expected, found);
}

// Over 8192 hits a search delivers batches in tree order; a box that covers
// the whole extent reads the data file in order instead.
TEST_F(CGafReaderTest, AWholeExtentBoxIsASequentialScan) {
  constexpr int kCount = 9000;
  MakeSet(kCount);
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
  BoundingBoxNode extent{};
  ASSERT_EQ(eKroOk, reader.GetBoundingBox(&extent));
  ASSERT_EQ(eKroOk, reader.BeginSpatialSearch(&extent));
  const std::vector<uint32_t> whole = PassKeyNumbers(reader);
  ASSERT_EQ(static_cast<size_t>(kCount), whole.size());
  EXPECT_TRUE(std::is_sorted(whole.begin(), whole.end()));

  ASSERT_EQ(eKroOk, reader.EndSearch());
  BoundingBoxNode almost = extent;
  almost.xMax -= 0.5;
  ASSERT_EQ(eKroOk, reader.BeginSpatialSearch(&almost));
  const std::vector<uint32_t> searched = PassKeyNumbers(reader);
  EXPECT_EQ(static_cast<size_t>(kCount), searched.size());
  EXPECT_FALSE(std::is_sorted(searched.begin(), searched.end()));
}

TEST_F(CGafReaderTest, AnEmptySetHasTheOriginAsItsExtent) {
  MakeSet(0);
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
  for (const BoundingBoxNode& box : {BoundingBoxNode{-1, -1, 1, 1}, BoundingBoxNode{5, 5, 6, 6}}) {
    ASSERT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
    EGafObjectType kind = kGafUndefinedObject;
    EXPECT_EQ(eKroEndOfGaf, reader.NextResult(&kind));
    EXPECT_EQ(eKroOk, reader.EndSearch());
  }
}

TEST_F(CGafReaderTest, ClosingDuringAPassEndsIt) {
  MakeSet(3);
  {
    CGafReader reader;
    ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
    ASSERT_EQ(eKroOk, reader.BeginSequential());
    EGafObjectType kind = kGafUndefinedObject;
    ASSERT_EQ(eKroOk, reader.NextResult(&kind));
  }
  // Readers share the files, and none is left holding them.
  CGafWriter writer;
  EXPECT_EQ(0u, writer.Open(DataFile().c_str(), kGafOpenUpdate, 0));
}

// A host that holds texts and vertices writes every kind without geometry
// objects, then finds records by key and by position.
TEST_F(CGafReaderTest, ContentsWrittenByKindReadBackByKeyAndPosition) {
  struct Case {
    EGafObjectType type;
    std::vector<int32_t> setCounts;
    std::vector<CKroDoublePointNode> points;
  };
  const std::vector<Case> cases = {
      {kGafPointObject, {}, {{1, 2}}},
      {static_cast<EGafObjectType>(1), {}, {{1, 2}, {3, 4}, {5, 6}}},
      {kGafPolylineObject, {}, {{0, 0}, {1, 1}}},
      {kGafPolyPolylineObject, {2, 2}, {{0, 0}, {1, 1}, {5, 5}, {6, 7}}},
      {kGafPolygonObject, {}, {{0, 0}, {1, 0}, {1, 1}, {0, 0}}},
      {kGafPolyPolygonObject, {4}, {{0, 0}, {2, 0}, {2, 2}, {0, 0}}},
  };
  std::vector<uint32_t> positions;
  {
    CGafWriter writer;
    CreateSet(writer, Stem(), -1);
    for (size_t i = 0; i < cases.size(); ++i) {
      ObjectVertices vertices{cases[i].setCounts, cases[i].points};
      ObjectTexts texts{"name" + std::to_string(i), "key" + std::to_string(i), "url"};
      ASSERT_EQ(eKroOk, writer.WriteContents(cases[i].type, texts, vertices, nullptr)) << i;
      positions.push_back(writer.LastRecordPosition());
    }
    EXPECT_EQ(eKroInvalidType, writer.WriteContents(static_cast<EGafObjectType>(7), {}, {}, nullptr));
    EXPECT_EQ(eKroOk, writer.Finish());
  }
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  for (size_t i = 0; i < cases.size(); ++i) {
    EGafObjectType kind = kGafUndefinedObject;
    ASSERT_EQ(eKroOk, reader.BeginKeySearch(("key" + std::to_string(i)).c_str()));
    ASSERT_EQ(eKroOk, reader.NextResult(&kind));
    EXPECT_EQ(cases[i].type, kind);
    EXPECT_EQ(positions[i], reader.CurrentPosition());
    EXPECT_EQ(eKroEndOfGaf, reader.NextResult(&kind));
    ASSERT_EQ(eKroOk, reader.EndSearch());

    ASSERT_EQ(eKroOk, reader.BeginAt(positions[i]));
    ASSERT_EQ(eKroOk, reader.NextResult(&kind));
    EXPECT_EQ(cases[i].type, kind);
    EXPECT_EQ(eKroEndOfGaf, reader.NextResult(&kind));
    ASSERT_EQ(eKroOk, reader.EndSearch());
  }
  EGafObjectType kind = kGafUndefinedObject;
  ASSERT_EQ(eKroOk, reader.BeginAt(positions[1]));
  ASSERT_EQ(eKroOk, reader.NextResult(&kind));
  const char *name, *key, *url;
  int32_t count = 0;
  const CKroDoublePointNode* points = nullptr;
  ASSERT_EQ(eKroOk, reader.ReadMultiPoint(name, key, url, count, points));
  EXPECT_STREQ("key1", key);
  ASSERT_EQ(3, count);
  EXPECT_EQ(6, points[2].y);
  ASSERT_EQ(eKroOk, reader.EndSearch());
  ASSERT_EQ(eKroOk, reader.BeginKeySearch(std::string(300, 'k').c_str()));
  EXPECT_EQ(eKroEndOfGaf, reader.NextResult(&kind));
}

}  // namespace
}  // namespace kro::test
