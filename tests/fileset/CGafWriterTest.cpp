// Writing objects through the facade: every object reaches all files of the
// set, and an object that cannot be stored leaves no trace in any of them.
#include <gtest/gtest.h>

#include <memory>

#include "engine/datafile/CGafFile.h"
#include "fileset/FacadeTestSupport.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class CGafWriterTest : public ::testing::Test {
 protected:
  std::string Stem() const { return dir_.File("set"); }
  TempDir dir_;
};

HostShape LineOf(std::vector<CKroDoublePointNode> points, const std::string& key,
                 EGafObjectType kind = kGafPolylineObject) {
  HostShape shape;
  shape.kind = kind;
  shape.key = key;
  shape.setCounts = {static_cast<LONG>(points.size())};
  shape.points = std::move(points);
  return shape;
}

template <class Itf>
ComPtr<Itf> Host(HostShape shape) {
  return HostGeometry<Itf>::Make(std::move(shape));
}

TEST_F(CGafWriterTest, WritesNeedAnOpenSetAndAnObject) {
  CGafWriter writer;
  EXPECT_EQ(eKroWriteError, WriteHostObject(writer, static_cast<IKroPoint*>(nullptr), nullptr));
  EXPECT_EQ(eKroNullObject, WriteHostObject(writer, static_cast<IKroPolyline*>(nullptr), nullptr));
  EXPECT_EQ(eKroNullObject, WriteHostObject(writer, static_cast<IKroPolygon*>(nullptr), nullptr));
  EXPECT_EQ(eKroNullObject, WriteHostObject(writer, static_cast<IKroPolyPolygon*>(nullptr), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(writer, Line("a").Get(), nullptr));
  EXPECT_EQ(eKroIllegalFunctionCall, writer.SetDescription("d"));
  CreateSet(writer, Stem());
  EXPECT_EQ(eKroNullObject, WriteHostObject(writer, static_cast<IKroPoint*>(nullptr), nullptr));
}

TEST_F(CGafWriterTest, EachKindReachesEveryFileWithItsBox) {
  auto writer = std::make_unique<CGafWriter>();
  CreateSet(*writer, Stem(), -1);
  BoundingBoxNode box{};
  ASSERT_EQ(eKroOk, WriteHostObject(*writer, Point("p", 3, 4).Get(), &box));
  EXPECT_EQ(3, box.xMin);
  EXPECT_EQ(4, box.yMax);
  const uint32_t pointPosition = writer->LastRecordPosition();
  ASSERT_EQ(eKroOk, WriteHostObject(*writer, Line("l", -1, -2).Get(), &box));
  EXPECT_EQ(-1, box.xMin);
  EXPECT_EQ(-2, box.yMin);
  EXPECT_EQ(0, box.xMax);
  EXPECT_EQ(0, box.yMax);
  const uint32_t linePosition = writer->LastRecordPosition();
  EXPECT_GT(linePosition, pointPosition);
  EXPECT_EQ(0u, linePosition % 2);
  ASSERT_EQ(eKroOk, WriteHostObject(*writer, As<IKroPolygon>(MakeLibraryObject(RingShapeFor(5, 6))).Get(), &box));
  EXPECT_EQ(6, box.xMax);
  HostShape multi = RingShapeFor(10, 10);
  const HostShape second = RingShapeFor(20, 20);
  multi.kind = kGafPolyPolygonObject;
  multi.points.insert(multi.points.end(), second.points.begin(), second.points.end());
  multi.setCounts.push_back(second.setCounts[0]);
  ASSERT_EQ(eKroOk, WriteHostObject(*writer, As<IKroPolyPolygon>(MakeLibraryObject(multi)).Get(), &box));
  EXPECT_EQ(10, box.xMin);
  EXPECT_EQ(21, box.yMax);
  const uint32_t lastPosition = writer->LastRecordPosition();
  writer.reset();

  const SetCounts counts = CountsOf(Stem());
  EXPECT_EQ(4, counts.dataFile);
  EXPECT_EQ(4, counts.spatialIndex);
  EXPECT_EQ(4, counts.keyIndex);
  EXPECT_EQ(std::vector<uint32_t>{pointPosition}, KeyIndexPositions(Stem() + ".kif", "p"));
  EXPECT_EQ(std::vector<uint32_t>{lastPosition}, KeyIndexPositions(Stem() + ".kif", "ring 10"));
}

TEST_F(CGafWriterTest, APointWithoutVertexIsWrittenAtTheOrigin) {
  {
    CGafWriter writer;
    CreateSet(writer, Stem());
    auto point = CreateLibrary<IKroPoint>(CreateKroPoint);
    BoundingBoxNode box{1, 1, 1, 1};
    ASSERT_EQ(eKroOk, WriteHostObject(writer, point.Get(), &box));
    EXPECT_EQ(0, box.xMin);
    EXPECT_EQ(0, box.yMax);
  }
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead((Stem() + ".gaf").c_str(), kGafReadOnly));
  ASSERT_EQ(eKroOk, reader.BeginSequential());
  GafRecord record;
  ASSERT_EQ(eKroOk, reader.Next(record));
  ASSERT_EQ(kGafPointObject, record.kind);
  ASSERT_EQ(1u, record.vertices.size());
  EXPECT_EQ(0, record.vertices[0].x);
  EXPECT_EQ(0, record.vertices[0].y);
  EXPECT_EQ("", record.key);
}

TEST_F(CGafWriterTest, AKeyTheKeyIndexCannotHoldLeavesNoTraceInAnyFile) {
  const std::string longest(32, 'k');
  {
    CGafWriter writer;
    CreateSet(writer, Stem(), -1);
    EXPECT_EQ(eKroWriteError, WriteHostObject(writer, Line(longest + "x").Get(), nullptr));
    EXPECT_EQ(Stem() + ".kif: a key is longer than the key index holds (eKifKeyTooLong)",
              writer.LastError().Describe());
    // 31 bytes and a two-byte character: 33 bytes.
    EXPECT_EQ(eKroWriteError, WriteHostObject(writer, Line(std::string(31, 'k') + "ß").Get(), nullptr));
    EXPECT_EQ(eKroOk, WriteHostObject(writer, Line(longest).Get(), nullptr));
  }
  const SetCounts counts = CountsOf(Stem());
  EXPECT_EQ(1, counts.dataFile);
  EXPECT_EQ(1, counts.spatialIndex);
  EXPECT_EQ(1, counts.keyIndex);
  // Without a key index any key is stored.
  CGafWriter writer;
  CreateSet(writer, dir_.File("nokeys"));
  EXPECT_EQ(eKroOk, WriteHostObject(writer, Line(std::string(200, 'k')).Get(), nullptr));
}

TEST_F(CGafWriterTest, ObjectsWithTheSameKeyAreAllInTheKeyIndex) {
  std::vector<uint32_t> positions;
  {
    CGafWriter writer;
    CreateSet(writer, Stem(), -1);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(eKroOk, WriteHostObject(writer, Line("same", i, i).Get(), nullptr));
      positions.push_back(writer.LastRecordPosition());
    }
  }
  EXPECT_EQ(positions, KeyIndexPositions(Stem() + ".kif", "same"));
}

TEST_F(CGafWriterTest, ObjectsThatCannotBeStoredLeaveNoTraceAndTheSetGoesOn) {
  HostShape open = LineOf({{0, 0}, {1, 0}, {1, 1}, {0, 0.5}}, "open", kGafPolygonObject);
  HostShape openRing = RingShapeFor(0, 0);
  openRing.kind = kGafPolyPolygonObject;
  openRing.points.push_back({5, 5});
  openRing.points.push_back({6, 5});
  openRing.setCounts.push_back(2);
  std::vector<CKroDoublePointNode> many(70000, CKroDoublePointNode{1, 1});
  HostShape tooManyVertices = LineOf(many, "many");
  HostShape tooManySets = RingShapeFor(0, 0);
  tooManySets.kind = kGafPolyPolygonObject;
  tooManySets.setCounts.assign(70000, 0);
  tooManySets.setCounts[0] = 4;
  HostShape shortArray = LineOf({{0, 0}, {1, 1}, {2, 2}}, "short");
  shortArray.shortDelivery = 1;
  HostShape negative = LineOf({{0, 0}, {1, 1}}, "negative");
  negative.setCounts = {-2};
  HostShape countsBeyondVertices = RingShapeFor(0, 0);
  countsBeyondVertices.kind = kGafPolyPolygonObject;
  countsBeyondVertices.setCounts = {4, 4};
  HostShape negativeSet = countsBeyondVertices;
  negativeSet.setCounts = {4, -1};

  auto writer = std::make_unique<CGafWriter>();
  CreateSet(*writer, Stem(), -1);
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolygon>(open).Get(), nullptr));
  EXPECT_EQ(Stem() + ".gaf: a polygon ring is open or empty (eGafPolygonUnclosed)", writer->LastError().Describe());
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyPolygon>(openRing).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyline>(tooManyVertices).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyPolygon>(tooManySets).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyline>(shortArray).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyline>(negative).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyPolygon>(countsBeyondVertices).Get(), nullptr));
  EXPECT_EQ(eKroWriteError, WriteHostObject(*writer, Host<IKroPolyPolygon>(negativeSet).Get(), nullptr));
  EXPECT_EQ(eKroOk, WriteHostObject(*writer, Host<IKroPolygon>(RingShapeFor(3, 3)).Get(), nullptr));
  writer.reset();
  const SetCounts counts = CountsOf(Stem());
  EXPECT_EQ(1, counts.dataFile);
  EXPECT_EQ(1, counts.spatialIndex);
  EXPECT_EQ(1, counts.keyIndex);
}

TEST_F(CGafWriterTest, FileSettingsOnlyWhileTheHeaderIsOpen) {
  {
    CGafWriter writer;
    ASSERT_EQ(0u, writer.Open((Stem() + ".gaf").c_str(), kGafCreateNew, 0));
    EXPECT_EQ(eKroInvalidParameter, writer.SetDescription(nullptr));
    EXPECT_EQ(eKroInvalidPrecision, writer.SetPrecision(48));
    EXPECT_EQ(eKroOk, writer.SetPrecision(64));
    EXPECT_EQ(eKroOk, writer.SetDescription("first"));
    WriteLines(writer, 1);
    EXPECT_EQ(eKroOk, writer.SetPrecision(32));
    EXPECT_EQ(eKroOk, writer.SetDescription("second"));
  }
  EngineStatus status = kEngineOk;
  CGafFile dataFile((Stem() + ".gaf").c_str(), 1, status);
  ASSERT_EQ(kEngineOk, status);
  EXPECT_EQ(64u, dataFile.GetPrecision());
  EXPECT_STREQ("first", dataFile.GetDescription());
}

// Whatever fails inside the spatial index, the write that met it says so.
TEST_F(CGafWriterTest, AFailingSpatialIndexInsertionIsAWriteError) {
  bool sawIndexFailure = false;
  for (uint64_t nth = 1; nth <= 3 && !sawIndexFailure; ++nth) {
    FaultInjectingFileSystem files;
    CGafWriter writer(files.Environment());
    CreateSet(writer, Stem());
    files.FailNth(FileOp::kWrite, nth, true);
    for (int i = 0; i < 20000; ++i) {
      const EKroErrCode result =
          WriteHostObject(writer, Line("k" + std::to_string(i), (i * 37) % 360 - 180, (i * 11) % 180 - 90).Get(), nullptr);
      if (result == eKroOk) {
        ASSERT_EQ(kEngineOk, writer.LastStatus());
        continue;
      }
      EXPECT_EQ(eKroWriteError, result);
      sawIndexFailure = (writer.LastStatus() & 0xFFFFF000u) == 0x80042000u;
      break;
    }
  }
  EXPECT_TRUE(sawIndexFailure);
}

// Two writers of one process over different environments: each writes
// through its own file services and its own session, and a disk that dies
// under one of them is none of the other's business.
TEST_F(CGafWriterTest, WritersOverTwoEnvironmentsSeeOnlyTheirOwnFilesAndSessions) {
  FaultInjectingFileSystem sound;
  FaultInjectingFileSystem dying;
  CGafWriter kept(sound.Environment());
  CGafWriter lost(dying.Environment());
  CreateSet(kept, dir_.File("kept"));
  CreateSet(lost, dir_.File("lost"));
  const uint64_t soundWrites = sound.Calls(FileOp::kWrite);
  dying.FailNth(FileOp::kAnyIo, 1, true);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(eKroOk, WriteHostObject(kept, Line("k" + std::to_string(i), i % 90, i % 45).Get(), nullptr));
    (void)WriteHostObject(lost, Line("l" + std::to_string(i), i % 90, i % 45).Get(), nullptr);
  }
  EXPECT_EQ(eKroOk, kept.Finish());
  EXPECT_NE(eKroOk, lost.Finish());
  EXPECT_GT(sound.Calls(FileOp::kWrite), soundWrites) << "the kept set's writes go to its own files";
  EXPECT_EQ(0u, sound.Injected());
  EXPECT_GT(dying.Injected(), 0u);
  EXPECT_FALSE(FileExists(dir_.File("lost.gaf"))) << "the failed new set is removed";
  CGafReader reader;
  ASSERT_EQ(eKroOk, reader.OpenForRead(dir_.File("kept.gaf").c_str(), kGafReadOnly));
  EXPECT_EQ(300, reader.GetNumberOfObjects());
}

}  // namespace
}  // namespace kro::test
