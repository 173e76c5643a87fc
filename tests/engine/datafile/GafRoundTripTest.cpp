// Model-based round trips: what a data file is given comes back as the format
// promises, through sequential scans, lookups by position, appends and updates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"

namespace kro {
namespace {

using namespace test;

const EGafObjectType kAllTypes[] = {kGafPointObject,   static_cast<EGafObjectType>(1), kGafPolylineObject,
                                    kGafPolyPolylineObject, kGafPolygonObject,              kGafPolyPolygonObject};

// Brute-force box of an object's doubles.
BoundingBoxNode ModelBox(const GafObject& o) {
  if (o.vertices.empty()) return {0, 0, 0, 0};
  BoundingBoxNode b{o.vertices[0].x, o.vertices[0].y, o.vertices[0].x, o.vertices[0].y};
  for (const auto& v : o.vertices) {
    b.xMin = std::min(b.xMin, v.x);
    b.yMin = std::min(b.yMin, v.y);
    b.xMax = std::max(b.xMax, v.x);
    b.yMax = std::max(b.yMax, v.y);
  }
  return b;
}

void ExpectSameBox(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  EXPECT_EQ(a.xMin, b.xMin);
  EXPECT_EQ(a.yMin, b.yMin);
  EXPECT_EQ(a.xMax, b.xMax);
  EXPECT_EQ(a.yMax, b.yMax);
}

BoundingBoxNode Union(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  return {std::min(a.xMin, b.xMin), std::min(a.yMin, b.yMin), std::max(a.xMax, b.xMax), std::max(a.yMax, b.yMax)};
}

class GafRoundTrip : public ::testing::Test {
 protected:
  // Writes the objects, checking each returned box; returns their positions.
  std::vector<uint32_t> WriteAll(CGafFile& file, const std::vector<GafObject>& objects) {
    std::vector<uint32_t> positions;
    for (const GafObject& o : objects) {
      uint32_t position = 0;
      BoundingBoxNode box{};
      EXPECT_EQ(file.WriteRecord(o, position, &box), kEngineOk);
      ExpectSameBox(box, ModelBox(o));
      positions.push_back(position);
    }
    return positions;
  }

  void ExpectReadsBack(CGafFile& file, const std::vector<GafObject>& objects, const std::vector<uint32_t>& positions,
                       uint32_t bits) {
    EngineStatus end;
    std::vector<uint32_t> scanned;
    const auto read = ReadAll(file, end, &scanned);
    EXPECT_EQ(end, kEngineEndOfResults);
    ASSERT_EQ(read.size(), objects.size());
    EXPECT_EQ(scanned, positions);
    for (size_t i = 0; i < objects.size(); ++i) {
      ASSERT_TRUE(SameObject(ExpectedReadBack(objects[i], bits), read[i])) << "object " << i;
    }
  }

  TempDir dir;
  std::string name = dir.File("set.gaf");
  std::mt19937 random{20240611};
};

TEST_F(GafRoundTrip, RandomObjectsOfAllKindsAtBothPrecisions) {
  for (uint32_t bits : {32u, 64u}) {
    std::vector<GafObject> objects;
    for (int i = 0; i < 2400; ++i) objects.push_back(RandomObject(random, kAllTypes[i % 6], 40));
    std::vector<uint32_t> positions;
    {
      auto file = OpenGaf(name, 10);
      ASSERT_EQ(file->SetPrecision(static_cast<int16_t>(bits)), kEngineOk);
      positions = WriteAll(*file, objects);
      EXPECT_EQ(file->Close(), kEngineOk);
    }
    auto file = OpenGaf(name, 1);
    EXPECT_EQ(file->GetPrecision(), bits);
    EXPECT_EQ(file->GetObjectCount(), objects.size());
    for (int type = 0; type < 6; ++type) EXPECT_TRUE(file->HasKind(type));
    BoundingBoxNode header, model = ModelBox(objects[0]);
    for (const auto& o : objects) model = Union(model, ModelBox(o));
    file->GetBoundingBox(header);
    ExpectSameBox(header, model);
    ExpectReadsBack(*file, objects, positions, bits);

    // Lookups by position, in random order.
    EXPECT_EQ(file->EndSearch(), kEngineOk);
    std::vector<size_t> order(objects.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (size_t i : order) {
      EGafObjectType type;
      ASSERT_EQ(file->ReadRecordAt(positions[i], type), kEngineOk);
      ASSERT_EQ(type, objects[i].kind);
      GafObject read;
      ASSERT_EQ(file->ReadRecord(read), kEngineOk);
      ASSERT_TRUE(SameObject(ExpectedReadBack(objects[i], bits), read)) << "object " << i;
    }
  }
}

TEST_F(GafRoundTrip, AppendAndUpdateAddAfterTheOldRecords) {
  std::vector<GafObject> objects;
  for (int i = 0; i < 30; ++i) objects.push_back(RandomObject(random, kAllTypes[i % 6], 20));
  std::vector<uint32_t> positions;
  {
    auto file = OpenGaf(name, 18);
    EXPECT_TRUE(file->IsNewFile()) << "append creates a missing file";
    ASSERT_EQ(file->SetPrecision(64), kEngineOk);
    ASSERT_EQ(file->SetDescription("first"), kEngineOk);
    positions = WriteAll(*file, std::vector<GafObject>(objects.begin(), objects.begin() + 10));
  }
  for (uint32_t flag : {18u, 2u}) {
    const size_t before = positions.size();
    const uint32_t oldSize = static_cast<uint32_t>(ReadFileBytes(name).size());
    {
      auto file = OpenGaf(name, flag);
      EXPECT_FALSE(file->IsNewFile());
      EXPECT_EQ(file->GetPrecision(), 64u);
      EXPECT_EQ(file->GetObjectCount(), before);
      EXPECT_EQ(file->AppendPosition(), oldSize - 2) << "new records overwrite the end-of-data chunk";
      EXPECT_EQ(file->SetDescription("second"), kEngineOk) << "accepted, but the header is closed";
      EXPECT_EQ(file->SetPrecision(32), kEngineOk);
      const auto more = WriteAll(*file, std::vector<GafObject>(objects.begin() + before, objects.begin() + before + 10));
      EXPECT_EQ(more.front(), oldSize - 2);
      positions.insert(positions.end(), more.begin(), more.end());
    }
    auto file = OpenGaf(name, 1);
    EXPECT_EQ(std::string(file->GetDescription()), "first");
    EXPECT_EQ(file->GetObjectCount(), positions.size());
    ExpectReadsBack(*file, std::vector<GafObject>(objects.begin(), objects.begin() + positions.size()), positions, 64);
  }
  const Bytes bytes = ReadFileBytes(name);
  EXPECT_EQ(ToHex(Bytes(bytes.end() - 2, bytes.end())), "04 00");
}

TEST_F(GafRoundTrip, OpenModesOnMissingAndExistingFiles) {
  OpenGaf(name, 2, eGafCannotOpen);
  OpenGaf(name, 1, eGafCannotOpen);
  EXPECT_FALSE(FileExists(name));
  // Names of things other than regular files fail the open at once, in
  // every mode: a FIFO would wait for a writer, a device never end.
  const std::string fifo = dir.File("fifo.gaf");
  const std::string folder = dir.File("folder.gaf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  alarm(20);  // a regression hangs in the open; fail instead
  for (const std::string& other : {fifo, folder, std::string("/dev/null")}) {
    for (const uint32_t mode : {1u, 2u, 18u}) {
      SCOPED_TRACE(other + " mode " + std::to_string(mode));
      OpenGaf(other, mode, eGafCannotOpen);
    }
  }
  alarm(0);
  { auto file = OpenGaf(name, 18); }
  EXPECT_EQ(ReadFileBytes(name).size(), 58u);
  {
    auto file = OpenGaf(name, 10);
    EXPECT_TRUE(file->IsNewFile()) << "10 truncates an existing file";
    uint32_t position;
    const CKroDoublePointNode v{1, 1};
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}, "a", "b", "c"), position, nullptr), kEngineOk);
  }
  {
    auto file = OpenGaf(name, 2);
    EXPECT_FALSE(file->IsNewFile());
    EXPECT_EQ(file->GetObjectCount(), 1u);
  }
  auto reader = OpenGaf(name, 1);
  EXPECT_TRUE(reader->IsReadOnly());
  EXPECT_FALSE(reader->IsNewFile());
  OpenGaf(name, 2, eGafCannotOpen);  // no writer while a reader has the file
}

TEST_F(GafRoundTrip, ScanEndRewindAndEndSearch) {
  const auto objects = std::vector<GafObject>{MakePoint("p", "1", 1, 1), MakePoint("q", "2", 2, 2)};
  {
    auto file = OpenGaf(name, 10);
    WriteAll(*file, objects);
  }
  auto file = OpenGaf(name, 1);
  EngineStatus end;
  EXPECT_EQ(ReadAll(*file, end).size(), 2u);
  EXPECT_EQ(end, kEngineEndOfResults);
  EXPECT_EQ(file->State(), GafFileState::kEndOfData);
  EXPECT_EQ(file->Rewind(), kEngineEndOfResults) << "the end stays until EndSearch";
  EXPECT_EQ(file->EndSearch(), kEngineOk);
  EXPECT_EQ(file->Rewind(), kEngineOk);
  EGafObjectType type;
  uint32_t position;
  ASSERT_EQ(file->NextRecord(type, position), kEngineOk);
  EXPECT_EQ(position, file->FirstObjectPosition());
  // Not reading a record is fine: the next step passes over it.
  ASSERT_EQ(file->NextRecord(type, position), kEngineOk);
  GafObject read;
  ASSERT_EQ(file->ReadRecord(read), kEngineOk);
  EXPECT_EQ(read.key, "2");
  ASSERT_EQ(file->ReadRecord(read), kEngineOk) << "a record can be read twice";
  EXPECT_EQ(file->SkipRecord(), kEngineOk);
  EXPECT_EQ(file->SkipRecord(), kEngineOk) << "skipping is idempotent";
  EXPECT_EQ(file->NextRecord(type, position), kEngineEndOfResults);
  EXPECT_EQ(type, kGafUndefinedObject);
}

TEST_F(GafRoundTrip, WritableFileScannedToItsEndIsStillClosed) {
  {
    auto file = OpenGaf(name, 10);
    ASSERT_EQ(file->SetPrecision(64), kEngineOk);
    WriteAll(*file, {MakePoint("p", "1", 1, 1)});
  }
  const Bytes closed = ReadFileBytes(name);
  {
    auto file = OpenGaf(name, 2);
    ASSERT_EQ(file->Rewind(), kEngineOk);
    EngineStatus end;
    EXPECT_EQ(ReadAll(*file, end).size(), 1u);
    EXPECT_EQ(end, kEngineEndOfResults);
    // Destroyed without EndSearch: the close sequence still runs.
  }
  EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(closed));
  {
    auto file = OpenGaf(name, 2);
    ASSERT_EQ(file->Rewind(), kEngineOk);
    EngineStatus end;
    ReadAll(*file, end);
    uint32_t position;
    const CKroDoublePointNode v{3, 3};
    EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}), position, nullptr), kEngineEndOfResults)
        << "writing waits for EndSearch";
    EXPECT_EQ(file->EndSearch(), kEngineOk);
    EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}, "", "x"), position, nullptr), kEngineOk);
    EXPECT_EQ(position, closed.size() - 2);
  }
  auto reader = OpenGaf(name, 1);
  EXPECT_EQ(reader->GetObjectCount(), 2u);
  EngineStatus end;
  EXPECT_EQ(ReadAll(*reader, end).size(), 2u);
  EXPECT_EQ(end, kEngineEndOfResults);
}

TEST_F(GafRoundTrip, RecordsWrittenInThisSessionCanBeReadBeforeClose) {
  std::vector<GafObject> objects;
  for (int i = 0; i < 12; ++i) objects.push_back(RandomObject(random, kAllTypes[i % 6], 10));
  {
    auto file = OpenGaf(name, 10);
    EGafObjectType type;
    uint32_t position;
    EXPECT_EQ(file->NextRecord(type, position), eGafNoObjectArea) << "no object area while the header is open";
    EXPECT_EQ(file->Rewind(), eGafNoObjectArea);
    EXPECT_EQ(file->Status(), kEngineOk);
    const auto positions = WriteAll(*file, std::vector<GafObject>(objects.begin(), objects.begin() + 6));
    ASSERT_EQ(file->Rewind(), kEngineOk);
    ASSERT_EQ(file->NextRecord(type, position), kEngineOk);
    GafObject read;
    ASSERT_EQ(file->ReadRecord(read), kEngineOk);
    EXPECT_TRUE(SameObject(ExpectedReadBack(objects[0], 32), read));
    ASSERT_EQ(file->ReadRecordAt(positions[4], type), kEngineOk);
    ASSERT_EQ(file->ReadRecord(read), kEngineOk);
    EXPECT_TRUE(SameObject(ExpectedReadBack(objects[4], 32), read));
    // A write goes to the append position whatever was read.
    WriteAll(*file, std::vector<GafObject>(objects.begin() + 6, objects.end()));
    // A scan of a writable file ends where close will put the end of data.
    ASSERT_EQ(file->Rewind(), kEngineOk);
    EngineStatus end;
    EXPECT_EQ(ReadAll(*file, end).size(), objects.size());
    EXPECT_EQ(end, kEngineEndOfResults);
  }
  auto file = OpenGaf(name, 1);
  EngineStatus end;
  const auto read = ReadAll(*file, end);
  ASSERT_EQ(read.size(), objects.size());
  for (size_t i = 0; i < objects.size(); ++i) EXPECT_TRUE(SameObject(ExpectedReadBack(objects[i], 32), read[i]));
}

TEST_F(GafRoundTrip, HeaderSettersOnlyWhileTheHeaderIsOpen) {
  GafCoordSys c;
  {
    auto file = OpenGaf(name, 10);
    EXPECT_EQ(file->SetDescription(nullptr), eGafInvalidParameter);
    EXPECT_EQ(file->SetPrecision(16), eGafInvalidParameter);
    EXPECT_EQ(file->SetDescription(std::string(65536, 'x').c_str()), eGafInvalidParameter);
    EXPECT_EQ(file->Status(), kEngineOk) << "refusals are not stored";
    ASSERT_EQ(file->SetCoordSys(&c), kEngineOk);
    ASSERT_NE(file->GetCoordSys(), nullptr);
    ASSERT_EQ(file->SetCoordSys(nullptr), kEngineOk);
    EXPECT_EQ(file->GetCoordSys(), nullptr) << "none drops the metadata";
    ASSERT_EQ(file->SetDescription("kept"), kEngineOk);
    WriteAll(*file, {MakePoint("", "", 0, 0)});
    EXPECT_EQ(file->SetDescription("late"), kEngineOk);
    EXPECT_EQ(file->SetPrecision(64), kEngineOk);
    EXPECT_EQ(file->SetCoordSys(&c), kEngineOk);
    EXPECT_EQ(file->GetPrecision(), 32u);
    EXPECT_EQ(std::string(file->GetDescription()), "kept");
    EXPECT_EQ(file->GetCoordSys(), nullptr);
  }
  auto file = OpenGaf(name, 1);
  EXPECT_EQ(std::string(file->GetDescription()), "kept");
  EXPECT_EQ(file->GetPrecision(), 32u);
  EXPECT_EQ(file->GetCoordSys(), nullptr) << "no metadata chunks: none, although the record holds defaults";
  EXPECT_EQ(file->SetDescription("ro"), kEngineOk);
  EXPECT_EQ(std::string(file->GetDescription()), "kept");
  uint32_t position = 7;
  const CKroDoublePointNode v{1, 1};
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}), position, nullptr), eGafWriteError) << "a read-only file is not written";
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(file->Status(), kEngineOk);
  EXPECT_EQ(file->Close(), kEngineOk);
}

TEST_F(GafRoundTrip, OpenPolygonRingsAreRefusedWithoutHarm) {
  const std::vector<CKroDoublePointNode> open{{0, 0}, {1, 0}, {1, 1}, {0, 1e-300}};
  const std::vector<CKroDoublePointNode> closed{{0, 0}, {1, 0}, {1, 1}, {0, 0}};
  const std::vector<CKroDoublePointNode> zeros{{-0.0, 0}, {1, 0}, {0.0, 0}};
  const std::vector<CKroDoublePointNode> nan{{NAN, 0}, {1, 0}, {NAN, 0}};
  {
    auto file = OpenGaf(name, 10);
    uint32_t position = 9;
    BoundingBoxNode box{};
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {4}, open), position, &box), eGafPolygonUnclosed);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(file->Status(), kEngineOk) << "not stored";
    EXPECT_EQ(file->ErrorFor(eGafPolygonUnclosed).Describe(),
              name + ": a polygon ring is open or empty (eGafPolygonUnclosed)");
    EXPECT_FALSE(file->Error().Failed()) << "a refusal is no failure of the file";
    EXPECT_EQ(file->State(), GafFileState::kHeaderOpen) << "nothing was written, not even the header body";
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {3}, nan), position, &box), eGafInvalidParameter) << "not finite";
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {0}, {}), position, &box), eGafPolygonUnclosed) << "no vertices";
    std::vector<CKroDoublePointNode> two = closed;
    two.insert(two.end(), open.begin(), open.end());
    EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolygonObject, {4, 4}, two), position, &box), eGafPolygonUnclosed);
    EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolygonObject, {4, 0}, closed), position, &box), eGafPolygonUnclosed);
    EXPECT_EQ(file->GetObjectCount(), 0u);
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {4}, closed, "", "a"), position, &box), kEngineOk);
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {3}, zeros, "", "b"), position, &box), kEngineOk) << "-0 equals +0";
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {1}, {closed[0]}, "", "c"), position, &box), kEngineOk) << "one vertex";
    EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolygonObject, {}, {}, "", "d"), position, &box), kEngineOk) << "no rings";
    EXPECT_EQ(box.xMin, 0);
    EXPECT_EQ(box.xMax, 0);
    EXPECT_EQ(file->WriteRecord(Record(kGafPolygonObject, {4}, open), position, &box), eGafPolygonUnclosed);
    EXPECT_EQ(file->GetObjectCount(), 4u);
    BoundingBoxNode header;
    file->GetBoundingBox(header);
    EXPECT_EQ(header.yMax, 1);
    EXPECT_EQ(header.yMin, 0) << "the refused ring with y = 1e-300 did not count";
  }
  auto file = OpenGaf(name, 1);
  EngineStatus end;
  const auto read = ReadAll(*file, end);
  EXPECT_EQ(end, kEngineEndOfResults);
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[3].parts.size(), 0u);
}

TEST_F(GafRoundTrip, UnrepresentableValuesAreRefused) {
  auto file = OpenGaf(name, 10);
  std::vector<CKroDoublePointNode> many(65536, CKroDoublePointNode{1, 2});
  const std::string longText(65536, 's');
  const std::string longest(65535, 's');
  uint32_t position;
  const CKroDoublePointNode v = many[0];
  const std::vector<CKroDoublePointNode> three(many.begin(), many.begin() + 3);
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}, longText), position, nullptr), eGafInvalidParameter);
  EXPECT_EQ(file->ErrorFor(eGafInvalidParameter).reason, "a text is longer than 65535 bytes");
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}, "", "", longText), position, nullptr),
            eGafInvalidParameter);
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {}), position, nullptr), eGafInvalidParameter)
      << "a point without its vertex";
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {2}, {v, v}), position, nullptr), eGafInvalidParameter)
      << "a point of two vertices";
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {65536}, many), position, nullptr), eGafInvalidParameter);
  EXPECT_EQ(file->ErrorFor(eGafInvalidParameter).reason, "the object has more than 65535 vertices");
  EXPECT_EQ(file->WriteRecord(Record(gaf::kMultiPointType, {-1}, {}), position, nullptr), eGafInvalidParameter);
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {3}, {}), position, nullptr), eGafInvalidParameter)
      << "fewer vertices than the part holds";
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {1, 2}, three), position, nullptr), eGafInvalidParameter)
      << "a single-part kind of two parts";
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {}, {}), position, nullptr), eGafInvalidParameter)
      << "a single-part kind without its part";
  EXPECT_EQ(file->WriteRecord(Record(gaf::kFreeRecordType, {1}, {v}), position, nullptr), eGafInvalidParameter)
      << "no object kind";
  std::vector<int32_t> sets(65536, 1);
  EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolylineObject, sets, many), position, nullptr), eGafInvalidParameter);
  EXPECT_EQ(file->ErrorFor(eGafInvalidParameter).reason, "the object has more than 65535 parts");
  EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolylineObject, {1, -1, 3}, three), position, nullptr),
            eGafInvalidParameter);
  EXPECT_EQ(file->WriteRecord(Record(kGafPolyPolylineObject, {1, 1}, three), position, nullptr), eGafInvalidParameter)
      << "more vertices than the parts hold";
  EXPECT_EQ(file->Status(), kEngineOk);
  EXPECT_EQ(file->GetObjectCount(), 0u);
  EXPECT_EQ(file->State(), GafFileState::kHeaderOpen);

  // The limits themselves are fine, and so is a line without vertices.
  EXPECT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {v}, longest, longest, longest), position, nullptr),
            kEngineOk);
  many.pop_back();
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {65535}, many), position, nullptr), kEngineOk);
  BoundingBoxNode box{9, 9, 9, 9};
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {0}, {}, "", "empty"), position, &box), kEngineOk);
  EXPECT_EQ(box.xMin, 0);
  EXPECT_EQ(box.yMax, 0);
  EXPECT_EQ(file->Close(), kEngineOk);
  EXPECT_EQ(file->WriteRecord(Record(kGafPolylineObject, {1}, {v}), position, nullptr), eGafWriteError) << "closed";
  file.reset();

  auto reader = OpenGaf(name, 1);
  EngineStatus end;
  const auto read = ReadAll(*reader, end);
  EXPECT_EQ(end, kEngineEndOfResults);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].name, std::string(255, 's'));
  EXPECT_EQ(read[1].vertices.size(), 65535u);
  EXPECT_EQ(read[2].vertices.size(), 0u);
  EXPECT_EQ(read[2].key, "empty");
}

TEST_F(GafRoundTrip, RecordsBeyondTheFixedBuffersComeBack) {
  std::vector<GafObject> objects;
  objects.push_back(RandomObject(random, kGafPolylineObject, 1));
  objects.back().vertices.clear();
  for (int i = 0; i < 20000; ++i) objects.back().vertices.push_back({i * 0.5, -i * 0.25});
  objects.back().parts = {20000};
  GafObject sets;
  sets.kind = kGafPolyPolylineObject;
  for (int i = 0; i < 9000; ++i) {
    sets.parts.push_back(2);
    sets.vertices.push_back({double(i), 0});
    sets.vertices.push_back({double(i), 1});
  }
  objects.push_back(sets);
  GafObject rings;
  rings.kind = kGafPolyPolygonObject;
  for (int r = 0; r < 4; ++r) {
    rings.parts.push_back(10000);
    for (int i = 0; i < 9999; ++i) rings.vertices.push_back({double(r), double(i)});
    rings.vertices.push_back({double(r), 0});
  }
  objects.push_back(rings);
  objects.push_back(MakePoint("after", "k", 1, 2));
  objects.push_back(RandomObject(random, kGafPolygonObject, 16384));
  for (uint32_t bits : {32u, 64u}) {
    std::vector<uint32_t> positions;
    {
      auto file = OpenGaf(name, 10);
      ASSERT_EQ(file->SetPrecision(static_cast<int16_t>(bits)), kEngineOk);
      positions = WriteAll(*file, objects);
    }
    auto file = OpenGaf(name, 1);
    ExpectReadsBack(*file, objects, positions, bits);
  }
}

// A record kept for the next read is decoded into the storage it has: once
// it has held the largest record, a pass moves no array and no text.
TEST_F(GafRoundTrip, AReusedRecordReadsIntoItsOwnStorage) {
  std::vector<GafObject> objects;
  for (int i = 0; i < 60; ++i) objects.push_back(RandomObject(random, static_cast<EGafObjectType>(i % 6), 40));
  {
    auto file = OpenGaf(name, 10);
    WriteAll(*file, objects);
  }
  auto file = OpenGaf(name, 1);
  GafObject read;
  EGafObjectType type;
  uint32_t position;
  while (file->NextRecord(type, position) == kEngineOk) ASSERT_EQ(file->ReadRecord(read), kEngineOk);
  ASSERT_EQ(file->EndSearch(), kEngineOk);
  ASSERT_EQ(file->Rewind(), kEngineOk);
  read.vertices.reserve(read.vertices.capacity() + 100);
  read.parts.reserve(8);
  for (std::string* text : {&read.name, &read.key, &read.url}) text->reserve(gaf::kMaxTextBytes);
  const void* storage[] = {read.vertices.data(), read.parts.data(), read.name.data(), read.key.data(),
                           read.url.data()};
  size_t i = 0;
  while (file->NextRecord(type, position) == kEngineOk) {
    ASSERT_EQ(file->ReadRecord(read), kEngineOk);
    EXPECT_TRUE(SameObject(ExpectedReadBack(objects[i++], 32), read));
    const void* now[] = {read.vertices.data(), read.parts.data(), read.name.data(), read.key.data(), read.url.data()};
    ASSERT_TRUE(std::equal(std::begin(storage), std::end(storage), std::begin(now))) << "record " << i;
  }
  EXPECT_EQ(i, objects.size());
}

TEST_F(GafRoundTrip, ReadWithoutARecordHeaderIsRefused) {
  {
    auto file = OpenGaf(name, 10);
    WriteAll(*file, {MakeLine(kGafPolylineObject, {{0, 0}, {1, 1}})});
  }
  auto file = OpenGaf(name, 1);
  GafObject read;
  EXPECT_EQ(file->ReadRecord(read), eGafWrongType) << "no record header read yet";
  EXPECT_EQ(file->EndSearch(), eGafWrongType) << "sticky";
}

}  // namespace
}  // namespace kro
