// Writing through GDAL's API: how each geometry maps to records, which
// features are refused (with a warning, the others written), appending to an
// existing set, and the refusals of Create.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "GdalTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

GDALDriver* GafDriver() {
  RegisterDrivers();
  return GetGDALDriverManager()->GetDriverByName("Gaf");
}

GDALDatasetUniquePtr CreateSet(const std::string& name, const std::vector<std::string>& options = {}) {
  CPLStringList list;
  for (const std::string& option : options) list.AddString(option.c_str());
  return GDALDatasetUniquePtr(GafDriver()->Create(name.c_str(), 0, 0, 0, GDT_Unknown, list.List()));
}

std::unique_ptr<OGRGeometry> FromWkt(const char* wkt) {
  OGRGeometry* geometry = nullptr;
  OGRGeometryFactory::createFromWkt(wkt, nullptr, &geometry);
  return std::unique_ptr<OGRGeometry>(geometry);
}

std::unique_ptr<OGRGeometry> LineOf(int vertices, double firstX) {
  auto line = std::make_unique<OGRLineString>();
  line->setNumPoints(vertices);
  for (int i = 0; i < vertices; ++i) line->setPoint(i, i == 0 ? firstX : i, i);
  return line;
}

// A closed ring of `vertices` vertices around the unit circle.
std::unique_ptr<OGRGeometry> RingOf(int vertices) {
  auto ring = std::make_unique<OGRLinearRing>();
  for (int i = 0; i < vertices - 1; ++i) ring->addPoint(std::cos(i * 1e-4), std::sin(i * 1e-4));
  ring->closeRings();
  auto polygon = std::make_unique<OGRPolygon>();
  polygon->addRingDirectly(ring.release());
  return polygon;
}

struct WriteCase {
  const char* label;
  std::unique_ptr<OGRGeometry> geometry;
  std::vector<OGRwkbGeometryType> readBack;  // empty: refused
  const char* reason;
  std::string key = "k";
};

std::vector<WriteCase> WriteCases() {
  std::vector<WriteCase> cases;
  auto add = [&cases](const char* label, std::unique_ptr<OGRGeometry> geometry,
                      std::vector<OGRwkbGeometryType> readBack, const char* reason = "") {
    cases.push_back({label, std::move(geometry), std::move(readBack), reason});
  };
  add("point", FromWkt("POINT (1 2)"), {wkbPoint});
  add("3-D point", FromWkt("POINT Z (1 2 3)"), {wkbPoint});
  add("line", FromWkt("LINESTRING (0 0,1 1,2 0)"), {wkbLineString});
  add("measured line", FromWkt("LINESTRING M (0 0 5,1 1 6)"), {wkbLineString});
  add("curve", FromWkt("CIRCULARSTRING (0 0,1 1,2 0)"), {wkbLineString});
  add("polygon", FromWkt("POLYGON ((0 0,1 0,1 1,0 0))"), {wkbPolygon});
  add("polygon with hole", FromWkt("POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,3 2,3 3,2 2))"), {wkbPolygon});
  add("multi-polygon", FromWkt("MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))"), {wkbMultiPolygon});
  add("multi-point", FromWkt("MULTIPOINT (1 1,2 2,3 3)"), {wkbPoint, wkbPoint, wkbPoint});
  add("multi-line", FromWkt("MULTILINESTRING ((0 0,1 1),EMPTY,(2 2,3 3))"), {wkbLineString, wkbLineString});
  add("empty", FromWkt("POINT EMPTY"), {}, "empty");
  add("no geometry", nullptr, {}, "empty");
  add("collection", FromWkt("GEOMETRYCOLLECTION (POINT (1 1))"), {}, "Geometry Collection");
  add("open ring", FromWkt("POLYGON ((0 0,1 0,1 1,0 1))"), {}, "not closed");
  add("NaN", LineOf(3, std::numeric_limits<double>::quiet_NaN()), {}, "NaN or infinite");
  add("infinite", LineOf(3, std::numeric_limits<double>::infinity()), {}, "NaN or infinite");
  add("too many vertices", LineOf(65536, 0), {}, "65535");
  add("longest line", LineOf(65535, 0), {wkbLineString});
  add("ring too long for a polygon record", RingOf(70000), {wkbMultiPolygon});
  add("key too long", FromWkt("POINT (1 2)"), {}, "key");
  cases.back().key = std::string(33, 'k');
  return cases;
}

TEST(GdalWriteTest, GeometriesMapToRecordsAndUnstorableFeaturesAreRefusedOneByOne) {
  TempDir dir;
  const std::string gaf = dir.File("kinds.gaf");
  std::vector<WriteCase> cases = WriteCases();
  CapturedMessages messages;
  {
    GDALDatasetUniquePtr dataset = CreateSet(gaf);
    ASSERT_TRUE(dataset);
    EXPECT_TRUE(dataset->TestCapability(ODsCCreateLayer));
    OGRLayer* layer = dataset->CreateLayer("ignored", nullptr, wkbUnknown, nullptr);
    ASSERT_NE(layer, nullptr);
    EXPECT_FALSE(dataset->TestCapability(ODsCCreateLayer));
    EXPECT_EQ(dataset->CreateLayer("second", nullptr, wkbUnknown, nullptr), nullptr);
    EXPECT_TRUE(messages.Contains(CE_Failure, {"one layer"}));
    messages.Clear();
    for (const char* field : {"Name", "KEY", "url", "population"}) {
      OGRFieldDefn definition(field, OFTString);
      ASSERT_EQ(layer->CreateField(&definition), OGRERR_NONE);
    }
    EXPECT_TRUE(messages.Contains(CE_Warning, {"population", "not stored"}));
    GIntBig fid = 100;
    for (WriteCase& c : cases) {
      OGRFeature feature(layer->GetLayerDefn());
      feature.SetFID(fid++);
      feature.SetField("Name", c.label);
      feature.SetField("url", std::string(300, 'u').c_str());
      feature.SetField("KEY", c.key.c_str());
      feature.SetField("population", "7");
      if (c.geometry) feature.SetGeometry(c.geometry.get());
      EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE) << c.label;
      if (c.readBack.empty()) {
        EXPECT_TRUE(messages.Contains(CE_Warning, {"feature " + std::to_string(feature.GetFID()), c.reason}))
            << c.label << "\n" << messages.All();
      } else {
        EXPECT_GT(feature.GetFID(), 0) << c.label;
      }
    }
  }
  EXPECT_TRUE(messages.Contains(CE_Warning, {"feature(s) were not written"})) << messages.All();
  EXPECT_TRUE(messages.Contains(CE_Warning, {"a text of 300 bytes", "first 255 bytes"})) << messages.All();
  EXPECT_EQ(messages.Count(CE_Failure), 0u) << messages.All();

  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_EQ(layer->GetGeomType(), wkbUnknown);
  layer->ResetReading();
  for (const WriteCase& c : cases) {
    for (OGRwkbGeometryType type : c.readBack) {
      OGRFeatureUniquePtr feature(layer->GetNextFeature());
      ASSERT_TRUE(feature) << c.label;
      EXPECT_STREQ(feature->GetFieldAsString("name"), c.label);
      EXPECT_STREQ(feature->GetFieldAsString("key"), "k");
      EXPECT_EQ(std::string(feature->GetFieldAsString("url")), std::string(255, 'u'));
      EXPECT_EQ(wkbFlatten(feature->GetGeometryRef()->getGeometryType()), type) << c.label;
      EXPECT_FALSE(feature->GetGeometryRef()->Is3D()) << c.label;
      EXPECT_FALSE(feature->GetGeometryRef()->IsMeasured()) << c.label;
    }
  }
  EXPECT_EQ(OGRFeatureUniquePtr(layer->GetNextFeature()), nullptr);
}

TEST(GdalWriteTest, AppendAddsRecordsAndIndexEntries) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  const std::string source = DataFile("ne_110m_countries.geojson");
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf", "-lco", "KEY_FIELD=id", "-where", "name < 'M'"}));
  const GIntBig before = OpenVector(gaf)->GetLayer(0)->GetFeatureCount();
  ASSERT_GT(before, 0);
  ASSERT_TRUE(Translate(gaf, source,
                        {"-append", "-nln", "set", "-sql", "SELECT id AS key, name FROM countries WHERE name >= 'M'"}));

  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_EQ(layer->GetFeatureCount(), 177);
  EXPECT_EQ(Fids(*layer).size(), 177u);
  // Norway (578) was appended: the key index and the spatial index know it.
  ASSERT_EQ(layer->SetAttributeFilter("key = '578'"), OGRERR_NONE);
  OGRFeatureUniquePtr norway(layer->GetNextFeature());
  ASSERT_TRUE(norway);
  EXPECT_STREQ(norway->GetFieldAsString("name"), "Norway");
  layer->SetAttributeFilter(nullptr);
  layer->SetSpatialFilterRect(10, 60, 10.5, 60.5);
  EXPECT_EQ(Fids(*layer), std::set<GIntBig>{norway->GetFID()});
}

TEST(GdalWriteTest, OverwriteReplacesTheSet) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  const std::string source = DataFile("ne_110m_countries.geojson");
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf", "-dsco", "KEY_INDEX=NO"}));
  ASSERT_TRUE(Translate(gaf, source, {"-overwrite", "-nln", "set", "-lco", "KEY_FIELD=id", "-where", "name = 'France'"}));
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_EQ(layer->GetFeatureCount(), 1);
  EXPECT_TRUE(layer->TestCapability("FastKeyFilter"));
  layer->SetAttributeFilter("key = '250'");
  EXPECT_EQ(Fids(*layer).size(), 1u);
}

TEST(GdalWriteTest, UpdateModeReadsWhatItHasWrittenAndWritesAgain) {
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  {
    GDALDatasetUniquePtr created = CreateSet(gaf);
    ASSERT_TRUE(created && created->CreateLayer("set", nullptr, wkbPoint, nullptr));
  }
  GDALDatasetUniquePtr dataset = OpenVector(gaf, GDAL_OF_UPDATE);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_TRUE(layer->TestCapability(OLCSequentialWrite));
  EXPECT_EQ(layer->GetFeatureCount(), 0);
  for (int round = 1; round <= 3; ++round) {
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetField("key", std::to_string(round).c_str());
    OGRPoint point(round, round);
    feature.SetGeometry(&point);
    ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    EXPECT_EQ(layer->GetFeatureCount(), round);
    OGRFeatureUniquePtr back(layer->GetFeature(feature.GetFID()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->GetFieldAsString("key"), std::to_string(round).c_str());
  }
}

TEST(GdalWriteTest, RefusalsOfCreateAndOfAppendingNameTheFileAndTheReason) {
  TempDir dir;
  CapturedMessages messages;
  EXPECT_FALSE(CreateSet(dir.File("set.shp")));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"set.shp", ".gaf"})) << messages.All();
  EXPECT_FALSE(CreateSet(dir.File("set.gaf"), {"PRECISION=16"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"PRECISION"})) << messages.All();
  EXPECT_FALSE(CreateSet(dir.File("missing/set.gaf")));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"missing/set.gaf", "cannot create"})) << messages.All();

  // Only a 64-bit set can be opened for writing again.
  const std::string narrow = dir.File("narrow.gaf");
  ASSERT_TRUE(Translate(narrow, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-dsco", "PRECISION=32"}));
  const auto before = ReadFileBytes(narrow);
  messages.Clear();
  EXPECT_FALSE(Translate(narrow, DataFile("ne_110m_countries.geojson"), {"-append", "-nln", "narrow"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"narrow.gaf", "64-bit"})) << messages.All();
  EXPECT_EQ(ReadFileBytes(narrow), before);

  GDALDatasetUniquePtr readOnly = OpenVector(narrow);
  OGRFeature feature(readOnly->GetLayer(0)->GetLayerDefn());
  EXPECT_NE(readOnly->GetLayer(0)->CreateFeature(&feature), OGRERR_NONE);
  EXPECT_FALSE(readOnly->GetLayer(0)->TestCapability(OLCSequentialWrite));
}

}  // namespace
}  // namespace kro::test
