// Filters of the Gaf layer against brute force, on sets as written and in
// map order: a spatial filter walks the
// spatial index and yields exactly the features a full scan finds
// intersecting the box; a key filter walks the key index and yields exactly
// what the same filter yields on a scan of a set without a key index.
#include <gtest/gtest.h>

#include <cstdio>

#include "GdalTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class GdalFilterTest : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    RegisterDrivers();
    dir_ = new TempDir();
    // 32 and 64 bits as written, and (0) 64 bits in map order.
    for (int set : {32, 64, 0}) {
      ASSERT_TRUE(Translate(SetName(set), DataFile("us_counties_10m.geojson"),
                            {"-f", "Gaf", "-skipfailures", "-dsco", "PRECISION=" + std::to_string(set == 32 ? 32 : 64),
                             "-dsco", std::string("SPATIAL_ORDER=") + (set == 0 ? "HILBERT" : "NONE"), "-lco",
                             "KEY_FIELD=id"}));
      // The set without its spatial index, for the scans.
      CPLCopyFile(NoSpatialIndexName(set).c_str(), SetName(set).c_str());
    }
    // The same set without its key index, for the scans.
    ASSERT_TRUE(Translate(dir_->File("nokif.gaf"), DataFile("us_counties_10m.geojson"),
                          {"-f", "Gaf", "-skipfailures", "-dsco", "KEY_INDEX=NO", "-lco", "KEY_FIELD=id"}));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string SetName(int set) { return dir_->File("counties" + std::to_string(set) + ".gaf"); }
  static std::string NoSpatialIndexName(int set) { return dir_->File("nosif" + std::to_string(set) + ".gaf"); }

  static TempDir* dir_;
};

TempDir* GdalFilterTest::dir_ = nullptr;

struct Box {
  double xMin, yMin, xMax, yMax;
};

TEST_P(GdalFilterTest, SpatialFilterFindsWhatABruteForceScanFinds) {
  GDALDatasetUniquePtr dataset = OpenVector(SetName(GetParam()));
  GDALDatasetUniquePtr plain = OpenVector(NoSpatialIndexName(GetParam()));
  ASSERT_TRUE(dataset && plain);
  OGRLayer* layer = dataset->GetLayer(0);
  OGRLayer* scanned = plain->GetLayer(0);
  EXPECT_TRUE(layer->TestCapability(OLCFastSpatialFilter));
  EXPECT_FALSE(scanned->TestCapability(OLCFastSpatialFilter));
  const Box boxes[] = {{-100, 30, -90, 40},          {-125, 45, -120, 50}, {0, 0, 1, 1},
                       {-77.03, 38.9, -77.03, 38.9}, {-180, -90, 180, 90}, {-118.5, 33.9, -118.2, 34.2},
                       {-170, 50, -130, 72},         {-90, 35, -89.99, 35.01}};
  for (const Box& b : boxes) {
    scanned->SetSpatialFilterRect(b.xMin, b.yMin, b.xMax, b.yMax);
    const std::set<GIntBig> expected = Fids(*scanned);
    CapturedMessages messages;
    layer->SetSpatialFilterRect(b.xMin, b.yMin, b.xMax, b.yMax);
    EXPECT_EQ(Fids(*layer), expected) << b.xMin << " " << b.yMin << " " << b.xMax << " " << b.yMax;
    EXPECT_TRUE(messages.Contains(CE_Debug, {"spatial index pass"})) << messages.All();
    EXPECT_FALSE(layer->TestCapability(OLCFastFeatureCount));
    EXPECT_EQ(layer->GetFeatureCount(), static_cast<GIntBig>(expected.size()));
  }
  layer->SetSpatialFilterRect(-100, 30, -90, 40);
  EXPECT_GT(layer->GetFeatureCount(), 100);
  layer->SetSpatialFilter(nullptr);
  EXPECT_TRUE(layer->TestCapability(OLCFastFeatureCount));
}

TEST_P(GdalFilterTest, KeyFilterWalksTheKeyIndexAndMatchesAScan) {
  GDALDatasetUniquePtr indexed = OpenVector(SetName(GetParam()));
  GDALDatasetUniquePtr plain = OpenVector(dir_->File("nokif.gaf"));
  ASSERT_TRUE(indexed && plain);
  OGRLayer* layer = indexed->GetLayer(0);
  OGRLayer* scanned = plain->GetLayer(0);
  EXPECT_TRUE(layer->TestCapability("FastKeyFilter"));
  EXPECT_FALSE(scanned->TestCapability("FastKeyFilter"));
  const struct {
    const char* filter;
    size_t matches;
    bool usesIndex;
  } cases[] = {
      {"key = '06037'", 1, true},
      {"key IN ('06037', '36061', '06037', 'none')", 2, true},
      {"key = '06037' AND name = 'Los Angeles'", 1, true},
      {"name = 'Washington' AND key IN ('53001', '11001', '28151')", 1, true},
      {"key = 'none' OR key = '11001'", 1, true},
      {"key = 'none'", 0, true},
      {"name = 'Washington'", 31, false},
      {"key LIKE '0603%'", 5, false},
      {"key = '06037' OR name = 'Washington'", 32, false},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(scanned->SetAttributeFilter(c.filter), OGRERR_NONE) << c.filter;
    std::vector<std::string> expected;
    for (auto& feature : *scanned) expected.push_back(feature->GetFieldAsString("key"));
    CapturedMessages messages;
    ASSERT_EQ(layer->SetAttributeFilter(c.filter), OGRERR_NONE) << c.filter;
    std::vector<std::string> found;
    for (auto& feature : *layer) found.push_back(feature->GetFieldAsString("key"));
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected) << c.filter;
    EXPECT_EQ(found.size(), c.matches) << c.filter;
    EXPECT_EQ(messages.Contains(CE_Debug, {"key index pass"}), c.usesIndex) << c.filter << "\n" << messages.All();
  }
}

TEST_P(GdalFilterTest, GetFeatureReadsTheRecordAtItsFidAndNothingElse) {
  GDALDatasetUniquePtr dataset = OpenVector(SetName(GetParam()));
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_TRUE(layer->TestCapability(OLCRandomRead));
  std::vector<std::pair<GIntBig, std::string>> all;
  for (auto& feature : *layer) all.emplace_back(feature->GetFID(), feature->GetFieldAsString("key"));
  // One county of the sample has no geometry and was refused.
  ASSERT_EQ(all.size(), 3230u);
  // Random reads while a pass runs leave the pass where it was.
  layer->ResetReading();
  OGRFeatureUniquePtr first(layer->GetNextFeature());
  for (size_t i = 0; i < all.size(); i += 97) {
    OGRFeatureUniquePtr feature(layer->GetFeature(all[i].first));
    ASSERT_TRUE(feature) << all[i].first;
    EXPECT_STREQ(feature->GetFieldAsString("key"), all[i].second.c_str());
  }
  OGRFeatureUniquePtr second(layer->GetNextFeature());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->GetFID(), all[1].first);
  // Numbers that are not record positions: odd, zero, negative, past the
  // end, and inside a record.
  for (GIntBig fid : {GIntBig{0}, GIntBig{-2}, all[0].first + 1, all[0].first + 2, all[0].first + 16,
                      GIntBig{0xFFFFFFFE}, GIntBig{1} << 40}) {
    EXPECT_EQ(OGRFeatureUniquePtr(layer->GetFeature(fid)), nullptr) << fid;
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, GdalFilterTest, ::testing::Values(32, 64, 0));

}  // namespace
}  // namespace kro::test
