// Damaged and incomplete file sets: opening says which file and what is
// wrong, never crashes; a set without its spatial index still reads; damage
// met while reading is a GDAL error naming the file and the offset, and sets
// that are whole (free records, appended records, old versions) read
// without one.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "GdalTestSupport.h"
#include "support/GafBytes.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

// A GeoJSON file of `count` points named "p<i>" with key "<i>".
std::string WritePoints(const TempDir& dir, int count) {
  const std::string name = dir.File("points.geojson");
  std::ofstream out(name);
  out << R"({"type": "FeatureCollection", "features": [)";
  for (int i = 0; i < count; ++i) {
    out << (i > 0 ? "," : "") << R"({"type": "Feature", "properties": {"name": "p)" << i << R"(", "key": ")" << i
        << R"("}, "geometry": {"type": "Point", "coordinates": [)" << i * 0.1 << ", " << i * 0.05 << "]}}";
  }
  out << "]}";
  return name;
}

std::vector<GIntBig> Positions(const std::string& gaf) {
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  std::vector<GIntBig> positions;
  for (auto& feature : *dataset->GetLayer(0)) positions.push_back(feature->GetFID());
  return positions;
}

// Features a pass of `layer` yields under its filters.
size_t ReadAll(OGRLayer& layer) {
  size_t read = 0;
  layer.ResetReading();
  for (auto& feature : layer) read += feature ? 1 : 0;
  return read;
}

std::string Hex(GIntBig offset) { return CPLSPrintf(" at 0x%X: ", static_cast<unsigned>(offset)); }

// The short tag word of a record: its code and payload length.
void PutTag(Bytes& bytes, GIntBig position, uint32_t code, uint32_t length) {
  bytes[position] = static_cast<uint8_t>(code << 2 | length >> 8);
  bytes[position + 1] = static_cast<uint8_t>(length);
}
uint32_t LengthAt(const Bytes& bytes, GIntBig position) { return bytes[position + 1] & 0x7Fu; }

class GdalDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDrivers();
    ASSERT_TRUE(Translate(gaf_, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"}));
  }

  TempDir dir_;
  const std::string gaf_ = dir_.File("set.gaf");
};

TEST_F(GdalDamageTest, OpeningADamagedSetNamesTheFileAndTheFault) {
  const Bytes good = ReadFileBytes(gaf_);
  // The spatial index of a set with fewer objects.
  ASSERT_TRUE(Translate(dir_.File("small.gaf"), DataFile("ne_110m_countries.geojson"),
                        {"-f", "Gaf", "-where", "name < 'C'"}));
  const Bytes smallerIndex = ReadFileBytes(dir_.File("small.sif"));
  const struct {
    const char* label;
    const char* file;
    Bytes content;
    const char* fault;
  } cases[] = {
      {"empty data file", "set.gaf", Bytes{}, "set.gaf at 0x0: the file ends in the middle of a chunk"},
      {"text", "set.gaf", HexBytes("6E 6F 74 20 61 20 67 61 66 0A"), "set.gaf at 0x0: "},
      {"info chunk cut", "set.gaf", Bytes(good.begin(), good.begin() + 30), "set.gaf at 0x0: "},
      {"garbage spatial index", "set.sif", Bytes(600, 0xAB), "set.sif at 0x0: the header does not start"},
      {"spatial index of another set", "set.sif", smallerIndex, "set.gaf at 0x2: the header counts 177 objects"},
      {"empty key index", "set.kif", Bytes{}, "set.kif at 0x0: the header cannot be read"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(gaf_, good);
    ASSERT_TRUE(Translate(gaf_, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"}));
    WriteFileBytes(dir_.File(c.file), c.content);
    CapturedMessages messages;
    EXPECT_FALSE(OpenVector(gaf_)) << c.label;
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, c.fault})) << c.label << "\n" << messages.All();
  }
}

TEST_F(GdalDamageTest, ASetWithoutItsSpatialIndexReadsSequentially) {
  ASSERT_EQ(std::remove(dir_.File("set.sif").c_str()), 0);
  CapturedMessages messages;
  GDALDatasetUniquePtr dataset = OpenVector(gaf_);
  ASSERT_TRUE(dataset);
  EXPECT_TRUE(messages.Contains(CE_Warning, {gaf_, "spatial index"})) << messages.All();
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_FALSE(layer->TestCapability(OLCFastSpatialFilter));
  EXPECT_EQ(Fids(*layer).size(), 177u);
  layer->SetSpatialFilterRect(5, 45, 10, 50);
  const std::set<GIntBig> filtered = Fids(*layer);
  EXPECT_EQ(filtered.size(), 7u);
  OGRFeatureUniquePtr feature(layer->GetFeature(*filtered.begin()));
  EXPECT_TRUE(feature);
}

// Every byte of the object area, one at a time, set to a value that breaks
// its field: opening and reading all features must end normally or with an
// error, never crash or hang (the sanitizer build checks every access), and
// a pass that yields fewer features than the set holds says so.
TEST_F(GdalDamageTest, ReadingARecordDamagedAnywhereEndsWithAnErrorOrData) {
  const Bytes good = ReadFileBytes(gaf_);
  for (size_t offset = 46; offset < good.size(); offset += good.size() / 150) {
    Bytes damaged = good;
    damaged[offset] ^= 0xFF;
    WriteFileBytes(gaf_, damaged);
    CapturedMessages messages;
    GDALDatasetUniquePtr dataset = OpenVector(gaf_);
    if (!dataset) continue;
    size_t read = 0;
    for (auto& feature : *dataset->GetLayer(0)) read += feature ? 1 : 0;
    EXPECT_LE(read, 177u) << offset;
    if (read < 177) {
      EXPECT_GT(messages.Count(CE_Failure), 0u) << offset;
    }
  }
}

// A set of 300 points, damaged in the ways a changed length or flipped bytes
// leave it: every pass over it ends with a CE_Failure, the first one names
// the file and the offset of the damage, and ogr2ogr fails.
class GdalReadDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDrivers();
    ASSERT_TRUE(Translate(gaf_, WritePoints(dir_, 300), {"-f", "Gaf"}));
    good_ = ReadFileBytes(gaf_);
    positions_ = Positions(gaf_);
    ASSERT_EQ(positions_.size(), 300u);
  }

  TempDir dir_;
  const std::string gaf_ = dir_.File("set.gaf");
  Bytes good_;
  std::vector<GIntBig> positions_;
};

TEST_F(GdalReadDamageTest, EveryKindOfDamageIsAnErrorNamingTheFileAndTheOffset) {
  const GIntBig at = positions_[10];
  const GIntBig next = positions_[11];
  const uint32_t length = LengthAt(good_, at);
  const struct {
    const char* label;
    std::function<void(Bytes&)> damage;
    const char* fault;
  } cases[] = {
      {"a length that takes in the next record",
       [&](Bytes& b) { PutTag(b, at, 32, static_cast<uint32_t>(length + 2 + LengthAt(b, next))); },
       "more left over than a reused free record leaves"},
      {"a code no record has", [&](Bytes& b) { PutTag(b, at, 40, length); }, "a chunk of a code that no record has"},
      {"a length shorter than the contents", [&](Bytes& b) { PutTag(b, at, 32, length - 2); }, "reading failed after"},
      {"an end-of-data chunk among the records", [&](Bytes& b) { PutTag(b, at, 1, 0); },
       "the header counts 300 objects, but the records end here after 10"},
      {"a flipped text length", [&](Bytes& b) { b[at + 2] ^= 0xFF; }, "reading failed"},
      {"a coordinate that is no number", [&](Bytes& b) { std::fill(b.begin() + next - 8, b.begin() + next - 6, 0xFF); },
       "a coordinate of the record is not a finite number"},
  };
  for (const auto& c : cases) {
    Bytes damaged = good_;
    c.damage(damaged);
    WriteFileBytes(gaf_, damaged);
    CapturedMessages messages;
    GDALDatasetUniquePtr dataset = OpenVector(gaf_);
    ASSERT_TRUE(dataset) << c.label;
    OGRLayer& layer = *dataset->GetLayer(0);
    EXPECT_LT(ReadAll(layer), 300u) << c.label;
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, Hex(at), c.fault})) << c.label << "\n" << messages.All();
    EXPECT_EQ(CPLGetLastErrorType(), CE_Failure) << c.label << ": the pass ends with the error";
    // The next pass meets the damage again and says so again.
    messages.Clear();
    ReadAll(layer);
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, Hex(at)})) << c.label;
    dataset.reset();
    EXPECT_FALSE(Translate(dir_.File("out.geojson"), gaf_, {"-f", "GeoJSON"})) << c.label;
  }
}

TEST_F(GdalReadDamageTest, BoxAndKeyPassesReportTheDamageTheyMeet) {
  const GIntBig at = positions_[10];
  Bytes damaged = good_;
  PutTag(damaged, at, 40, LengthAt(damaged, at));
  WriteFileBytes(gaf_, damaged);
  GDALDatasetUniquePtr dataset = OpenVector(gaf_);
  ASSERT_TRUE(dataset);
  OGRLayer& layer = *dataset->GetLayer(0);
  const struct {
    const char* label;
    std::function<void()> filter;
    size_t features;
  } passes[] = {
      // Points 9 to 12 lie in the box; point 10 is damaged.
      {"box", [&] { layer.SetSpatialFilterRect(0.85, 0.4, 1.25, 0.65); }, 3},
      {"key", [&] { layer.SetAttributeFilter("key IN ('10', '11')"); }, 1},
  };
  for (const auto& pass : passes) {
    layer.SetSpatialFilter(nullptr);
    layer.SetAttributeFilter(nullptr);
    pass.filter();
    CapturedMessages messages;
    EXPECT_EQ(ReadAll(layer), pass.features) << pass.label;
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, Hex(at), "a chunk of a code that no record has"}))
        << pass.label << "\n" << messages.All();
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, "1 damaged record(s) were passed over"})) << pass.label;
  }
}

TEST_F(GdalReadDamageTest, GetFeatureReportsARecordDamagedInItself) {
  const GIntBig at = positions_[10];
  Bytes damaged = good_;
  std::fill(damaged.begin() + positions_[11] - 8, damaged.begin() + positions_[11] - 6, 0xFF);
  WriteFileBytes(gaf_, damaged);
  GDALDatasetUniquePtr dataset = OpenVector(gaf_);
  CapturedMessages messages;
  EXPECT_FALSE(OGRFeatureUniquePtr(dataset->GetLayer(0)->GetFeature(at)));
  EXPECT_TRUE(messages.Contains(CE_Failure, {gaf_, Hex(at), "not a finite number"})) << messages.All();
  messages.Clear();
  EXPECT_TRUE(OGRFeatureUniquePtr(dataset->GetLayer(0)->GetFeature(positions_[12])));
  EXPECT_EQ(messages.Count(CE_Failure), 0u);
}

// A name damaged into bytes that are not UTF-8 comes out with U+FFFD for each
// of them, once warned about; a valid text of any script comes out as stored.
TEST_F(GdalReadDamageTest, TextsThatAreNotUtf8ReadWithReplacementCharacters) {
  const std::string source = dir_.File("texts.geojson");
  {
    std::ofstream out(source);
    out << R"({"type": "FeatureCollection", "features": [)"
        << R"({"type": "Feature", "properties": {"name": "Zxrich", "key": "\u00e9t\u00e9 \ud83c\udf0d \u6771\u4eac"},)"
        << R"( "geometry": {"type": "Point", "coordinates": [8.5, 47.4]}}]})";
  }
  ASSERT_TRUE(Translate(gaf_, source, {"-f", "Gaf"}));
  Bytes damaged = ReadFileBytes(gaf_);
  const GIntBig at = Positions(gaf_).front();
  // The name's bytes follow the tag word and the name's length byte:
  // "x" becomes a byte that starts no sequence, "r" a lead byte without its
  // continuation.
  damaged[at + 4] = 0xFC;
  damaged[at + 5] = 0xC3;
  WriteFileBytes(gaf_, damaged);
  CapturedMessages messages;
  const std::string json = dir_.File("texts-back.geojson");
  ASSERT_TRUE(Translate(json, gaf_, {"-f", "GeoJSON"}));
  std::ifstream in(json, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"name\": \"Z\xEF\xBF\xBD\xEF\xBF\xBDich\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"key\": \"\xC3\xA9t\xC3\xA9 \xF0\x9F\x8C\x8D \xE6\x9D\xB1\xE4\xBA\xAC\""), std::string::npos)
      << text;
  EXPECT_TRUE(
      messages.Contains(CE_Warning, {gaf_, CPLSPrintf("offset 0x%X", static_cast<unsigned>(at)), "not valid UTF-8"}))
      << messages.All();
}

// A data file of an old version (32-bit): a point of two texts, a polyline
// whose vertex count comes from its length, and a multi-polygon record whose
// length field is not relied on.
Bytes OldVersionFile(int version) {
  GafBytes f = HeaderBytes(3, 0, 7, version, 32);
  f.Tag(32, 12).Str("pt").Str("").F32(3).F32(4);
  f.Tag(34, 20).Str("ln").Str("").F32(0).F32(0).F32(5).F32(5);
  f.Tag(37, 0).Str("").Str("").U16(1).U32(4).F32(0).F32(0).F32(2).F32(0).F32(2).F32(2).F32(0).F32(0);
  f.Tag(1, 0);
  return f.bytes;
}

// Sets that are whole read every object without an error: free records
// (also one reused, so that a record is longer than its contents), records
// appended in a later session, and the old versions 0 and 1.
TEST(GdalWholeSetTest, FreeRecordsAppendedRecordsAndOldVersionsReadWithoutAnError) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  GafBytes withFree;
  AddInfo(withFree, 2, 0, 1, {0, 0, 1, 1}).Tag(16, 2).U16(2).Tag(18, 2).U16(64).Tag(2, 0);
  withFree.Tag(32, 22).Str("a").Str("1").Str("").U8(0).F64(0).F64(0);
  const auto free = static_cast<uint32_t>(withFree.Size());
  withFree.Tag(63, 30).U32(0).Zeros(26);
  withFree.Tag(32, 22).Str("b").Str("2").Str("").U8(0).F64(1).F64(1);
  withFree.Tag(1, 0);
  // The head of the free list, in the info chunk.
  withFree.bytes[8] = static_cast<uint8_t>(free >> 8);
  withFree.bytes[9] = static_cast<uint8_t>(free);

  const std::string onePoint = WritePoints(dir, 1);
  const std::string countries = DataFile("ne_110m_countries.geojson");
  const struct {
    const char* label;
    std::function<void()> make;
    size_t features;
  } sets[] = {
      {"a free record", [&] { WriteFileBytes(gaf, withFree.bytes); }, 2},
      {"a free record reused by an append, longer than its new contents",
       [&] {
         WriteFileBytes(gaf, withFree.bytes);
         ASSERT_TRUE(Translate(gaf, onePoint, {"-append", "-nln", "set"}));
         ASSERT_EQ(Positions(gaf)[1], free);
       },
       3},
      {"records appended in a second session",
       [&] {
         ASSERT_TRUE(Translate(gaf, countries, {"-f", "Gaf"}));
         ASSERT_TRUE(Translate(gaf, countries, {"-append", "-nln", "set"}));
       },
       354},
      {"version 1", [&] { WriteFileBytes(gaf, OldVersionFile(1)); }, 3},
      {"version 0", [&] { WriteFileBytes(gaf, OldVersionFile(0)); }, 3},
  };
  for (const auto& set : sets) {
    for (const char* file : {"set.gaf", "set.sif", "set.kif"}) std::remove(dir.File(file).c_str());
    set.make();
    CapturedMessages messages;
    GDALDatasetUniquePtr dataset = OpenVector(gaf);
    ASSERT_TRUE(dataset) << set.label << "\n" << messages.All();
    EXPECT_EQ(ReadAll(*dataset->GetLayer(0)), set.features) << set.label;
    EXPECT_EQ(messages.Count(CE_Failure), 0u) << set.label << "\n" << messages.All();
  }
}

}  // namespace
}  // namespace kro::test
