// Byte-exact layouts of data files and their records.
#include <gtest/gtest.h>

#include <cstring>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"

namespace kro {
namespace {

using namespace test;

class GafLayout : public ::testing::Test {
 protected:
  TempDir dir;
  std::string name = dir.File("a.gaf");
};

TEST_F(GafLayout, EmptyFileIs58Bytes) {
  {
    auto file = OpenGaf(name, 10);
    EXPECT_TRUE(file->IsNewFile());
    EXPECT_FALSE(file->IsReadOnly());
    EXPECT_EQ(file->State(), GafFileState::kHeaderOpen);
  }
  const Bytes expected = HexBytes(
      "00 2C  00 00 00 00  00 00 00 00  00 00 00 00"
      "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"
      "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"
      "40 02 00 02  48 02 00 20  08 00  04 00");
  EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(expected));
  auto file = OpenGaf(name, 1);
  EXPECT_EQ(file->FirstObjectPosition(), 56u);
  EXPECT_EQ(file->GetObjectCount(), 0u);
  EGafObjectType type;
  uint32_t position;
  EXPECT_EQ(file->NextRecord(type, position), kEngineEndOfResults);
  EXPECT_EQ(type, kGafUndefinedObject);
  EXPECT_EQ(position, 56u);
}

// The ring-roles chunk follows the precision chunk when a writer asks for it
// before the header is written; asking later, or when appending, changes
// nothing, and an append keeps the chunk the header has.
TEST_F(GafLayout, RingRolesChunkIsWrittenOnlyWhenAskedBeforeTheHeader) {
  const CKroDoublePointNode vertex{1, 2};
  uint32_t position = 0;
  {
    auto file = OpenGaf(name, 10);
    EXPECT_FALSE(file->RingRolesByOrientation());
    ASSERT_EQ(file->SetRingRolesByOrientation(), kEngineOk);
    EXPECT_TRUE(file->RingRolesByOrientation());
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {vertex}), position, nullptr), kEngineOk);
    EXPECT_EQ(position, 60u);
  }
  const std::string header = "40 02 00 02 48 02 00 20 60 02 00 01 08 00";
  EXPECT_EQ(ToHex(ReadFileBytes(name)).substr(46 * 3, header.size()), header);
  {
    auto file = OpenGaf(name, 2);
    EXPECT_TRUE(file->RingRolesByOrientation());
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {vertex}), position, nullptr), kEngineOk);
  }
  EXPECT_EQ(ToHex(ReadFileBytes(name)).substr(46 * 3, header.size()), header) << "an append keeps the header";
  EXPECT_TRUE(OpenGaf(name, 1)->RingRolesByOrientation());

  const std::string other = dir.File("b.gaf");
  {
    auto file = OpenGaf(other, 10);
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {vertex}), position, nullptr), kEngineOk);
    ASSERT_EQ(file->SetRingRolesByOrientation(), kEngineOk) << "the header is written: nothing changes";
    EXPECT_FALSE(file->RingRolesByOrientation());
  }
  EXPECT_EQ(ReadFileBytes(other).size(), 72u) << "the point file of 72 bytes, no chunk";
  EXPECT_FALSE(OpenGaf(other, 1)->RingRolesByOrientation());
}

TEST_F(GafLayout, OnePointFileIs74Bytes) {
  {
    auto file = OpenGaf(name, 10);
    const CKroDoublePointNode vertex{1, 2};
    uint32_t position = 0;
    BoundingBoxNode box{};
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {vertex}, "a", "k"), position, &box), kEngineOk);
    EXPECT_EQ(position, 56u);
    EXPECT_EQ(box.xMin, 1);
    EXPECT_EQ(box.yMax, 2);
    EXPECT_EQ(file->Close(), kEngineOk);
    EXPECT_EQ(file->State(), GafFileState::kClosed);
  }
  const Bytes expected = HexBytes(
      "00 2C 00 00 00 01 00 00 00 00 00 00 00 01"
      "3F F0 00 00 00 00 00 00 40 00 00 00 00 00 00 00"
      "3F F0 00 00 00 00 00 00 40 00 00 00 00 00 00 00"
      "40 02 00 02 48 02 00 20 08 00"
      "80 0E 01 61 01 6B 00 00 3F 80 00 00 40 00 00 00"
      "04 00");
  EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(expected));
}

TEST_F(GafLayout, PointWithEmptyStringsIs14Bytes) {
  {
    auto file = OpenGaf(name, 10);
    const CKroDoublePointNode vertex{0.5, -2};
    uint32_t position = 0;
    ASSERT_EQ(file->WriteRecord(Record(kGafPointObject, {1}, {vertex}), position, nullptr), kEngineOk);
  }
  const Bytes bytes = ReadFileBytes(name);
  ASSERT_EQ(bytes.size(), 56u + 14 + 2);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 56, bytes.begin() + 70)), "80 0C 00 00 00 00 3F 00 00 00 C0 00 00 00");
}

TEST_F(GafLayout, LongFormPolylineAndStringBlockPad) {
  // Strings of stored sizes 11 + 6 + 3 = 20; 12 vertices of 16 bytes; 214 > 126.
  std::vector<CKroDoublePointNode> vertices;
  for (int i = 0; i < 12; ++i) vertices.push_back({double(i), double(-i)});
  {
    auto file = OpenGaf(name, 10);
    ASSERT_EQ(file->SetPrecision(64), kEngineOk);
    uint32_t position = 0;
    ASSERT_EQ(file->WriteRecord(Record(kGafPolylineObject, {12}, vertices, "name567890", "key45", "ur"), position, nullptr), kEngineOk);
    EXPECT_EQ(position, 56u);
    // Sizes 3 + 1 + 1 = 5: odd, so a pad byte makes the block 6.
    ASSERT_EQ(file->WriteRecord(Record(gaf::kMultiPointType, {1}, {vertices[0]}, "ab"), position, nullptr), kEngineOk);
    EXPECT_EQ(position, 56u + 6 + 214);
  }
  const Bytes bytes = ReadFileBytes(name);
  GafBytes record;
  record.Tag(34, 214).Str("name567890").Str("key45").Str("ur").U16(12);
  for (const auto& v : vertices) record.F64(v.x).F64(v.y);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 56, bytes.begin() + 56 + 220)), ToHex(record.bytes));
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 56, bytes.begin() + 62)), "88 7F 00 00 00 D6");
  GafBytes multi;
  multi.Tag(33, 6 + 2 + 16).Str("ab").Str("").Str("").U8(0).U16(1).F64(0).F64(0);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 276, bytes.begin() + 276 + multi.Size())), ToHex(multi.bytes));
}

TEST_F(GafLayout, MultiSetRecordLayout) {
  const std::vector<CKroDoublePointNode> vertices{{0, 0}, {1, 0}, {1, 1}, {0, 0}, {5, 5}, {6, 5}, {5, 5}};
  {
    auto file = OpenGaf(name, 10);
    uint32_t position = 0;
    BoundingBoxNode box{};
    ASSERT_EQ(file->WriteRecord(Record(kGafPolyPolygonObject, {4, 3}, vertices, "p"), position, &box), kEngineOk);
    EXPECT_EQ(box.xMin, 0);
    EXPECT_EQ(box.yMin, 0);
    EXPECT_EQ(box.xMax, 6);
    EXPECT_EQ(box.yMax, 5);
  }
  GafBytes record;
  record.Tag(37, 4 + 2 + 8 + 7 * 8).Str("p").Str("").Str("").U16(2).U32(4).U32(3);
  for (const auto& v : vertices) record.F32(v.x).F32(v.y);
  const Bytes bytes = ReadFileBytes(name);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 56, bytes.end() - 2)), ToHex(record.bytes));
  const Bytes info(bytes.begin() + 10, bytes.begin() + 14);
  EXPECT_EQ(ToHex(info), "00 00 00 04") << "kinds: areas";
}

TEST_F(GafLayout, DescriptionStringForms) {
  for (size_t length : {126u, 127u, 300u}) {
    const std::string text(length, 'd');
    {
      auto file = OpenGaf(name, 10);
      ASSERT_EQ(file->SetDescription(text.c_str()), kEngineOk);
    }
    const Bytes bytes = ReadFileBytes(name);
    GafBytes chunk;
    const uint32_t stored = length <= 126 ? length + 1 : length + 3;
    chunk.Tag(17, stored).Str(text).Pad(stored);
    ASSERT_GT(bytes.size(), 50 + chunk.Size());
    EXPECT_EQ(ToHex(Bytes(bytes.begin() + 50, bytes.begin() + 50 + chunk.Size())), ToHex(chunk.bytes)) << length;
    EXPECT_EQ(bytes.size(), 58 + chunk.Size());
    // Stored sizes 127 (short string form, odd: padded) and 130 (long form);
    // both chunk lengths exceed 126, so both tags are in the long form.
    if (length == 126) {
      EXPECT_EQ(chunk.Size(), 6u + 127 + 1);
      EXPECT_EQ(bytes[56], 126) << "short string form";
    }
    if (length == 127) {
      EXPECT_EQ(chunk.Size(), 6u + 130);
      EXPECT_EQ(ToHex(Bytes(bytes.begin() + 56, bytes.begin() + 59)), "7F 00 7F") << "long string form";
    }
    auto reader = OpenGaf(name, 1);
    ASSERT_NE(reader->GetDescription(), nullptr);
    EXPECT_EQ(std::string(reader->GetDescription()), text) << "the description is kept whole";
  }
}

GafCoordSys SampleCoordSys() {
  GafCoordSys c;
  GafCoordSys::SetText(c.code, "UTM-32N");
  GafCoordSys::SetText(c.description, "odd");
  GafCoordSys::SetText(c.groupCode, "UTM");
  GafCoordSys::SetText(c.projectionCode, "TM");
  GafCoordSys::SetText(c.unitCode, "METER");
  c.originLongitude = 9;
  c.originLatitude = 0.5;
  c.xOffset = 500000;
  c.yOffset = -1;
  c.scaleReduction = 0.9996;
  c.unitScale = 1;
  c.mapScale = 2;
  c.scale = 3;
  for (int i = 0; i < 24; ++i) c.projectionParameters[i] = i * 1.5;
  GafCoordSys::SetText(c.datumCode, "ETRS89");
  GafCoordSys::SetText(c.datumDescription, "");
  c.datumDeltaX = 1;
  c.datumDeltaY = 2;
  c.datumDeltaZ = 3;
  c.datumRotationX = 4;
  c.datumRotationY = 5;
  c.datumRotationZ = 6;
  c.datumBWScaleFactor = 7;
  c.datumConversionMethod = -3;
  GafCoordSys::SetText(c.ellipsoidCode, "GRS80");
  GafCoordSys::SetText(c.ellipsoidDescription, "Geodetic Reference System 1980");
  c.ellipsoidEquatorialRadius = 6378137;
  c.ellipsoidPolarRadius = 6356752.314140347;
  return c;
}

TEST_F(GafLayout, MetadataChunksLayoutAndRoundTrip) {
  const GafCoordSys c = SampleCoordSys();
  {
    auto file = OpenGaf(name, 10);
    EXPECT_EQ(file->GetCoordSys(), nullptr);
    ASSERT_EQ(file->SetCoordSys(&c), kEngineOk);
    ASSERT_EQ(file->SetDescription("x"), kEngineOk);
  }
  GafBytes expected;
  AddInfo(expected, 0, 0, 0);
  expected.Tag(16, 2).U16(2).Tag(23, 2).U16(1).Tag(17, 2).Str("x").Tag(18, 2).U16(32);
  const uint32_t coordLength = 8 + 4 + 4 + 3 + 6 + 64;
  expected.Tag(19, coordLength).Str("UTM-32N").Str("odd").Str("UTM").Str("TM").Str("METER");
  for (double v : {9.0, 0.5, 500000.0, -1.0, 0.9996, 1.0, 2.0, 3.0}) expected.F64(v);
  expected.Pad(coordLength);
  expected.Tag(20, 192, true);
  for (int i = 0; i < 24; ++i) expected.F64(i * 1.5);
  const uint32_t datumLength = 7 + 1 + 58;
  expected.Tag(21, datumLength).Str("ETRS89").Str("");
  for (double v : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0}) expected.F64(v);
  expected.U16(0xFFFD).Pad(datumLength);
  const uint32_t ellipsoidLength = 6 + 31 + 16;
  expected.Tag(22, ellipsoidLength).Str("GRS80").Str("Geodetic Reference System 1980");
  expected.F64(6378137).F64(6356752.314140347).Pad(ellipsoidLength);
  expected.Tag(2, 0).Tag(1, 0);
  EXPECT_EQ(coordLength, 89u) << "odd: padded";
  EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(expected.bytes));

  auto reader = OpenGaf(name, 1);
  const GafCoordSys* read = reader->GetCoordSys();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::memcmp(read, &c, sizeof c), 0) << "every field comes back";
}

TEST_F(GafLayout, LongMetadataStringsComeBackCutAndLaterChunksStayInStep) {
  // A 300-byte code, built by hand since the record itself holds 255 at most.
  const std::string code = std::string(254, 'c') + "\xC3\xA9" + std::string(44, 'c');
  GafBytes file;
  AddInfo(file, 0, 0, 0);
  const uint32_t length = (300 + 3) + 1 + 1 + 1 + 1 + 64;
  file.Tag(19, length).Str(code).Str("").Str("").Str("").Str("");
  for (int i = 0; i < 8; ++i) file.F64(i + 0.25);
  file.Pad(length);
  file.Tag(22, 3 + 16).Str("E").Str("").F64(10).F64(20).Pad(19);
  file.Tag(2, 0).Tag(1, 0);
  WriteFileBytes(name, file.bytes);
  auto reader = OpenGaf(name, 1);
  const GafCoordSys* c = reader->GetCoordSys();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::string(c->code), std::string(254, 'c')) << "cut before the two-byte character at 254";
  EXPECT_EQ(c->scale, 7.25);
  EXPECT_EQ(std::string(c->ellipsoidCode), "E");
  EXPECT_EQ(c->ellipsoidPolarRadius, 20);
  EXPECT_EQ(std::string(c->datumCode), "WGS84") << "chunks that are absent keep the defaults";
}

TEST_F(GafLayout, LongRecordStringIsCutTo255AndItsStoredSizeConsumed) {
  const std::string name300 = std::string(300, 'n');
  GafBytes file = HeaderBytes(1, 0, 1);
  const uint32_t block = 303 + 2 + 1;  // odd sum 306? 303 + 2 + 1 = 306: even, no pad
  file.Tag(32, block + 8).Str(name300).Str("k").Str("").F32(3).F32(4).Tag(1, 0);
  WriteFileBytes(this->name, file.bytes);
  auto reader = OpenGaf(this->name, 1);
  EGafObjectType type;
  uint32_t position;
  ASSERT_EQ(reader->NextRecord(type, position), kEngineOk);
  GafObject object;
  ASSERT_EQ(reader->ReadRecord(object), kEngineOk);
  EXPECT_EQ(object.name, std::string(255, 'n'));
  EXPECT_EQ(object.key, "k");
  ASSERT_EQ(object.vertices.size(), 1u);
  EXPECT_EQ(object.vertices[0].x, 3);
  EXPECT_EQ(object.vertices[0].y, 4);
  EXPECT_EQ(reader->NextRecord(type, position), kEngineEndOfResults) << "the reader stayed in step";
}

TEST_F(GafLayout, HeaderDefaultsAndUnknownChunks) {
  GafBytes file;
  AddInfo(file, 1, 0, 2, {1, 2, 3, 4});
  file.Tag(40, 3).U8(1).U8(2).U8(3).Pad(3);  // unknown, odd: skipped with its pad
  file.Tag(41, 300).Zeros(300);               // unknown, long form
  file.Tag(24, 2).U16(2);                     // ring roles of a value no writer writes
  file.Tag(2, 0);
  const uint32_t first = static_cast<uint32_t>(file.Size());
  file.Tag(34, 4 + 2 + 16).Str("").Str("").Str("").U8(0).U16(2).F32(1).F32(2).F32(3).F32(4).Tag(1, 0);
  WriteFileBytes(name, file.bytes);
  auto reader = OpenGaf(name, 1);
  EXPECT_EQ(reader->Version(), 2u) << "no version chunk reads as version 2";
  EXPECT_EQ(reader->GetPrecision(), 32u) << "no precision chunk reads as 32";
  EXPECT_EQ(reader->FirstObjectPosition(), first);
  EXPECT_EQ(reader->GetObjectCount(), 1u);
  BoundingBoxNode box;
  reader->GetBoundingBox(box);
  EXPECT_EQ(box.xMin, 1);
  EXPECT_EQ(box.yMax, 4);
  EXPECT_TRUE(reader->HasKind(2));
  EXPECT_TRUE(reader->HasKind(3));
  EXPECT_FALSE(reader->HasKind(0));
  EXPECT_FALSE(reader->HasKind(1));
  EXPECT_FALSE(reader->HasKind(4));
  EXPECT_FALSE(reader->HasKind(7));
  EXPECT_EQ(reader->GetDescription(), nullptr);
  EXPECT_EQ(reader->GetCoordSys(), nullptr);
  EXPECT_FALSE(reader->RingRolesByOrientation());
  EngineStatus end;
  const auto objects = ReadAll(*reader, end);
  EXPECT_EQ(end, kEngineEndOfResults);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].vertices.size(), 2u);
}

TEST_F(GafLayout, BoxIsKeptFromUnroundedDoubles) {
  {
    auto file = OpenGaf(name, 10);
    const std::vector<CKroDoublePointNode> v{{5, 5}, {1, 9}, {0.1, 2}};
    uint32_t position;
    BoundingBoxNode box{};
    ASSERT_EQ(file->WriteRecord(Record(kGafPolylineObject, {3}, v), position, &box), kEngineOk);
    EXPECT_EQ(box.xMin, 0.1);
    EXPECT_EQ(box.yMin, 2);
    EXPECT_EQ(box.xMax, 5);
    EXPECT_EQ(box.yMax, 9);
  }
  auto reader = OpenGaf(name, 1);
  BoundingBoxNode box;
  reader->GetBoundingBox(box);
  EXPECT_EQ(box.xMin, 0.1) << "the double, not the single nearest to it";
  EngineStatus end;
  const auto objects = ReadAll(*reader, end);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].vertices[2].x, static_cast<double>(0.1f));
}

}  // namespace
}  // namespace kro
