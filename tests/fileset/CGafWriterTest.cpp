// Writing objects through the facade: every object reaches all files of the
// set, and an object that cannot be stored leaves no trace in any of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "engine/datafile/CGafFile.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/ordering/HilbertCurve.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/FacadeTestSupport.h"
#include "fileset/IndexRebuild.h"
#include "fileset/OrderedExport.h"
#include "fileset/SetIntegrity.h"
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

namespace kro::test {
namespace {

// Objects of every kind all over the plane, a tenth of them sharing keys,
// each named "o<i>".
std::vector<GafRecord> RandomRecords(int count, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> x(-180, 180), y(-90, 90), step(-0.5, 0.5);
  std::vector<GafRecord> records;
  for (int i = 0; i < count; ++i) {
    const EGafObjectType kind = static_cast<EGafObjectType>(random() % 4);
    std::vector<CKroDoublePointNode> vertices{{x(random), y(random)}};
    const int more = kind == kGafPointObject ? 0 : 1 + static_cast<int>(random() % 6);
    for (int v = 0; v < more; ++v) vertices.push_back({vertices.back().x + step(random), vertices.back().y + step(random)});
    if (kind == kGafPolygonObject) {
      while (vertices.size() < 3) vertices.push_back({vertices.back().x + 0.1, vertices.back().y});
      vertices.push_back(vertices.front());
    }
    GafRecord record = SinglePartRecord(kind, std::move(vertices));
    record.name = "o" + std::to_string(i);
    record.key = random() % 10 == 0 ? "shared" + std::to_string(random() % 3) : "k" + std::to_string(i);
    records.push_back(std::move(record));
  }
  return records;
}

EKroErrCode WriteSetOf(const std::string& stem, const std::vector<GafRecord>& records, GafSpatialOrder order,
                       size_t budget, Env& env = Env::Default()) {
  CGafWriter writer(env);
  writer.SetSpatialOrder(order);
  writer.SetOrderingBudget(budget);
  if (writer.Open((stem + ".gaf").c_str(), kGafCreateNew, -1) != eKroOk) return eKroUnableToOpen;
  writer.SetDescription("ordered");
  writer.SetPrecision(64);  // a set that can be appended to
  for (const GafRecord& record : records) {
    const EKroErrCode written = writer.Write(record, nullptr);
    if (written != eKroOk) return written;
  }
  return writer.Finish();
}

// The names a pass delivers, sorted, so that two sets can be compared.
std::vector<std::string> SortedNames(CGafReader& reader) {
  std::vector<std::string> names;
  GafRecord record;
  while (reader.Next(record) == eKroOk) names.push_back(record.name);
  reader.EndSearch();
  std::sort(names.begin(), names.end());
  return names;
}

class OrderedExportTest : public ::testing::Test {
 protected:
  std::string Stem(const char* name) const { return dir_.File(name); }
  // No file of an export is left beside the set but the set's own.
  void ExpectOnlySetFiles(const std::string& stem) const {
    for (const char* kind : {".records.0", ".keys.0"}) {
      const std::string base = stem.substr(stem.find_last_of('/') + 1);
      EXPECT_FALSE(CGafRawFile().Exists(dir_.File("IDF" + base + ".gaf" + kind).c_str())) << kind;
    }
    EXPECT_FALSE(CGafRawFile().Exists(JournalOf(stem).c_str()));
  }
  TempDir dir_;
};

TEST_F(OrderedExportTest, AnOrderedSetAnswersAsTheSetAsWrittenAndLiesInMapOrder) {
  const std::vector<GafRecord> records = RandomRecords(1500, 7);
  ASSERT_EQ(eKroOk, WriteSetOf(Stem("plain"), records, GafSpatialOrder::kAsWritten, 0));
  // A budget this small spills a run every few objects, keys included.
  for (size_t budget : {size_t{4096}, OrderedExport::kDefaultBudget}) {
    ASSERT_EQ(eKroOk, WriteSetOf(Stem("ordered"), records, GafSpatialOrder::kHilbert, budget));
    ExpectOnlySetFiles(Stem("ordered"));
    CGafReader plain, ordered;
    ASSERT_EQ(eKroOk, plain.OpenForRead((Stem("plain") + ".gaf").c_str(), kGafReadOnly));
    ASSERT_EQ(eKroOk, ordered.OpenForRead((Stem("ordered") + ".gaf").c_str(), kGafReadOnly));
    ASSERT_EQ(plain.GetNumberOfObjects(), ordered.GetNumberOfObjects());
    // The data file is in Hilbert order of the boxes.
    ASSERT_EQ(eKroOk, ordered.BeginSequential());
    GafRecord record;
    uint64_t previous = 0;
    int inOrder = 0;
    while (ordered.Next(record) == eKroOk) {
      const uint64_t key = PlaneHilbertKey(VerticesBox(record.vertices.data(), record.vertices.size()));
      inOrder += key >= previous ? 1 : 0;
      previous = key;
    }
    ordered.EndSearch();
    EXPECT_EQ(plain.GetNumberOfObjects(), inOrder);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> x(-180, 180), y(-90, 90), size(0, 40);
    for (int q = 0; q < 60; ++q) {
      const double qx = x(random), qy = y(random);
      const BoundingBoxNode box{qx, qy, qx + size(random), qy + size(random) / 2};
      ASSERT_EQ(eKroOk, plain.BeginSpatialSearch(&box));
      ASSERT_EQ(eKroOk, ordered.BeginSpatialSearch(&box));
      EXPECT_EQ(SortedNames(plain), SortedNames(ordered)) << "query " << q;
    }
    for (const std::string key : {"k0", "k777", "k1499", "shared0", "shared1", "shared2", "none"}) {
      ASSERT_EQ(eKroOk, plain.BeginKeySearch(key.c_str()));
      ASSERT_EQ(eKroOk, ordered.BeginKeySearch(key.c_str()));
      EXPECT_EQ(SortedNames(plain), SortedNames(ordered)) << key;
    }
  }
  // Both indexes verify, packed: every node but the last of a level full.
  EngineStatus status = kEngineOk;
  CSpatialIndex spatialIndex((Stem("ordered") + ".sif").c_str(), kOpenReadOnly, status);
  SifStatistics sif;
  ASSERT_EQ(kEngineOk, spatialIndex.Verify(nullptr, sif));
  EXPECT_EQ(1500u, sif.leafEntries);
  EXPECT_EQ(75u, sif.leafNodes);
  CKeyIndex keyIndex((Stem("ordered") + ".kif").c_str(), kOpenReadOnly, status);
  KifStatistics kif;
  ASSERT_EQ(kEngineOk, keyIndex.Verify(nullptr, kif));
  EXPECT_EQ(1500u, kif.entries);
  EXPECT_GT(kif.fillRatio, 0.9);
}

TEST_F(OrderedExportTest, AnOrderIsForNewSetsAndObjectsAreCheckedWhenWritten) {
  ASSERT_EQ(eKroOk, WriteSetOf(Stem("set"), RandomRecords(10, 1), GafSpatialOrder::kAsWritten, 0));
  CGafWriter writer;
  ASSERT_EQ(eKroOk, writer.SetSpatialOrder(GafSpatialOrder::kHilbert));
  EXPECT_EQ(eKroInvalidParameter, writer.Open((Stem("set") + ".gaf").c_str(), kGafOpenAppend, 0));
  ASSERT_EQ(eKroOk, writer.Open((Stem("new") + ".gaf").c_str(), kGafCreateNew, -1));
  EXPECT_EQ(eKroIllegalFunctionCall, writer.SetSpatialOrder(GafSpatialOrder::kAsWritten));
  GafRecord open = SinglePartRecord(kGafPolygonObject, {{0, 0}, {1, 0}, {1, 1}});
  EXPECT_EQ(eKroWriteError, writer.Write(open, nullptr));
  EXPECT_EQ(eGafPolygonUnclosed, writer.LastStatus());
  EXPECT_NE(std::string::npos, writer.LastError().reason.find("ring")) << writer.LastError().Describe();
  GafRecord longKey = SinglePartRecord(kGafPointObject, {{1, 1}});
  longKey.key.assign(33, 'k');
  EXPECT_EQ(eKroWriteError, writer.Write(longKey, nullptr));
  EXPECT_EQ(eKifKeyTooLong, writer.LastStatus());
  BoundingBoxNode box{};
  GafRecord line = SinglePartRecord(kGafPolylineObject, {{3, 4}, {-1, 9}});
  ASSERT_EQ(eKroOk, writer.Write(line, &box));
  EXPECT_EQ(-1, box.xMin);
  EXPECT_EQ(9, box.yMax);
  // Staged objects closed the header as written ones do.
  EXPECT_EQ(eKroOk, writer.SetPrecision(64));
  EXPECT_EQ(32u, writer.GetPrecision());
  ASSERT_EQ(eKroOk, writer.Finish());
  EXPECT_EQ(1, CountsOf(Stem("new")).keyIndex);
  // No object at all: an ordinary empty set.
  ASSERT_EQ(eKroOk, WriteSetOf(Stem("empty"), {}, GafSpatialOrder::kHilbert, 0));
  const SetCounts empty = CountsOf(Stem("empty"));
  EXPECT_EQ(0, empty.dataFile);
  EXPECT_EQ(0, empty.spatialIndex);
  EXPECT_EQ(0, empty.keyIndex);
  CGafWriter append;
  ASSERT_EQ(eKroOk, append.Open((Stem("empty") + ".gaf").c_str(), kGafOpenAppend, -1)) << append.LastError().Describe();
  WriteLines(append, 30);
  ASSERT_EQ(eKroOk, append.Finish());
  EXPECT_EQ(30, CountsOf(Stem("empty")).keyIndex);
}

// An ordered set is an ordinary set: appends go at its end and into its
// indexes by insertion.
TEST_F(OrderedExportTest, AnOrderedSetTakesAppends) {
  ASSERT_EQ(eKroOk, WriteSetOf(Stem("set"), RandomRecords(300, 2), GafSpatialOrder::kHilbert, 4096));
  CGafWriter writer;
  ASSERT_EQ(eKroOk, writer.Open((Stem("set") + ".gaf").c_str(), kGafOpenAppend, -1)) << writer.LastError().Describe();
  WriteLines(writer, 50);
  ASSERT_EQ(eKroOk, writer.Finish());
  const SetCounts counts = CountsOf(Stem("set"));
  EXPECT_EQ(350, counts.dataFile);
  EXPECT_EQ(350, counts.spatialIndex);
  EXPECT_EQ(350, counts.keyIndex);
}

// The close of an ordered export reports how far it got, and an abort there
// leaves the set it would replace as it was.
TEST_F(OrderedExportTest, TheCloseReportsProgressAndCanBeAborted) {
  struct Recording : CIndexProgress {
    std::vector<double> seen;
    double abortAt = 1000;
    void SetPosition(double value) override {
      seen.push_back(value);
      if (value >= abortAt) Abort();
    }
  };
  const std::vector<GafRecord> records = RandomRecords(10000, 8);
  const std::string stem = Stem("set");
  ASSERT_EQ(eKroOk, WriteSetOf(stem, RandomRecords(30, 9), GafSpatialOrder::kAsWritten, 0));
  const SetSnapshot before = TakeSnapshot(stem);
  for (double abortAt : {1000.0, 40.0}) {
    Recording progress;
    progress.abortAt = abortAt;
    CGafWriter writer;
    writer.SetSpatialOrder(GafSpatialOrder::kHilbert);
    writer.SetFinishProgress(&progress);
    ASSERT_EQ(eKroOk, writer.Open((stem + ".gaf").c_str(), kGafCreateNew, -1));
    for (const GafRecord& record : records) ASSERT_EQ(eKroOk, writer.Write(record, nullptr));
    const EKroErrCode finished = writer.Finish();
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_TRUE(std::is_sorted(progress.seen.begin(), progress.seen.end()));
    if (abortAt > 100) {
      EXPECT_EQ(eKroOk, finished);
      EXPECT_EQ(100, progress.seen.back());
      EXPECT_EQ(10000, CountsOf(stem).keyIndex);
      RestoreSnapshot(stem, before);
    } else {
      EXPECT_EQ(eKroWriteError, finished);
      EXPECT_NE(std::string::npos, writer.LastError().reason.find("aborted")) << writer.LastError().Describe();
      EXPECT_TRUE(TakeSnapshot(stem) == before);
      ExpectOnlySetFiles(stem);
    }
  }
}

// Whatever file operation fails, the export says so and the set it would
// replace is exactly as it was; no run file stays.
TEST_F(OrderedExportTest, AFailedOperationLeavesTheOldSetAsItWas) {
  const std::vector<GafRecord> records = RandomRecords(120, 5);
  const std::string stem = Stem("set");
  ASSERT_EQ(eKroOk, WriteSetOf(stem, RandomRecords(40, 6), GafSpatialOrder::kAsWritten, 0));
  const SetSnapshot before = TakeSnapshot(stem);
  for (FileOp op : {FileOp::kAnyIo, FileOp::kOpen}) {
    for (uint64_t nth = 1;; ++nth) {
      FaultInjectingFileSystem files;
      files.FailNth(op, nth);
      const EKroErrCode written = WriteSetOf(stem, records, GafSpatialOrder::kHilbert, 2048, files.Environment());
      files.Disarm();
      if (files.Injected() == 0) {
        EXPECT_EQ(eKroOk, written);
        RestoreSnapshot(stem, before);
        break;
      }
      {
        CGafReader reader;  // the open that rolls back what a journal holds
        ASSERT_EQ(eKroOk, reader.OpenForRead((stem + ".gaf").c_str(), kGafReadOnly)) << nth;
      }
      if (written == eKroOk) {
        EXPECT_EQ(120, CountsOf(stem).keyIndex) << "call " << nth;
        RestoreSnapshot(stem, before);
      } else {
        EXPECT_TRUE(TakeSnapshot(stem) == before) << "call " << nth << " of " << static_cast<int>(op);
      }
      ExpectOnlySetFiles(stem);
    }
  }
}

}  // namespace
}  // namespace kro::test
