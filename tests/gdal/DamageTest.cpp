// Damaged and incomplete file sets: opening says which file and what is
// wrong, never crashes; a set without its spatial index still reads.
#include <gtest/gtest.h>

#include <cstdio>

#include "GdalTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

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
      {"empty data file", "set.gaf", Bytes{}, "data file"},
      {"text", "set.gaf", HexBytes("6E 6F 74 20 61 20 67 61 66 0A"), "data file"},
      {"info chunk cut", "set.gaf", Bytes(good.begin(), good.begin() + 30), "data file"},
      {"garbage spatial index", "set.sif", Bytes(600, 0xAB), "spatial index"},
      {"spatial index of another set", "set.sif", smallerIndex, "indexes do not match"},
      {"empty key index", "set.kif", Bytes{}, "key index"},
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
// error, never crash or hang (the sanitizer build checks every access).
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
  }
}

}  // namespace
}  // namespace kro::test
