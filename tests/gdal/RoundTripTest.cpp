// GeoJSON -> Gaf -> GeoJSON through ogr2ogr's library call: every feature
// comes back with its name, its key and its geometry, exactly at 64-bit and
// as the single nearest to each coordinate at 32-bit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "GdalTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

struct RoundTripCase {
  const char* label;
  const char* data;
  int precision;
  long long features;
};

class GdalRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  void SetUp() override { RegisterDrivers(); }
};

// Every vertex of a geometry, in order.
std::vector<std::pair<double, double>> Vertices(const OGRGeometry& geometry) {
  struct Collector : OGRDefaultConstGeometryVisitor {
    using OGRDefaultConstGeometryVisitor::visit;
    void visit(const OGRPoint* point) override { vertices.emplace_back(point->getX(), point->getY()); }
    std::vector<std::pair<double, double>> vertices;
  } collector;
  geometry.accept(&collector);
  return collector.vertices;
}

// Same structure, and every vertex of `back` is the stored form of the same
// vertex of `original`: itself at 64-bit, the nearest single at 32-bit.
void ExpectSameGeometry(const OGRGeometry& original, const OGRGeometry& back, int precision, const char* name) {
  // A MultiPolygon of one part with holes is stored as a Polygon with holes
  // is: the same rings in one multi-polygon record, read back as a Polygon.
  if (wkbFlatten(original.getGeometryType()) == wkbMultiPolygon && wkbFlatten(back.getGeometryType()) == wkbPolygon &&
      original.toMultiPolygon()->getNumGeometries() == 1) {
    return ExpectSameGeometry(*original.toMultiPolygon()->getGeometryRef(0), back, precision, name);
  }
  ASSERT_EQ(wkbFlatten(original.getGeometryType()), wkbFlatten(back.getGeometryType())) << name;
  if (precision == 64) {
    EXPECT_TRUE(original.Equals(&back)) << name;
    return;
  }
  std::vector<std::pair<double, double>> expected = Vertices(original);
  for (auto& [x, y] : expected) {
    x = static_cast<float>(x);
    y = static_cast<float>(y);
  }
  EXPECT_EQ(Vertices(back), expected) << name;
}

TEST_P(GdalRoundTripTest, GeoJsonToGafToGeoJsonKeepsNamesKeysAndGeometry) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string source = DataFile(c.data);
  const std::string gaf = dir.File("set.gaf");
  const std::string back = dir.File("back.geojson");
  ASSERT_TRUE(Translate(gaf, source,
                        {"-f", "Gaf", "-skipfailures", "-dsco", "PRECISION=" + std::to_string(c.precision), "-lco",
                         "KEY_FIELD=id"}));
  ASSERT_TRUE(Translate(back, gaf, {"-f", "GeoJSON", "-lco", "SIGNIFICANT_FIGURES=17"}));

  GDALDatasetUniquePtr original = OpenVector(source);
  GDALDatasetUniquePtr copy = OpenVector(back);
  ASSERT_TRUE(original && copy);
  OGRLayer* originalLayer = original->GetLayer(0);
  OGRLayer* copyLayer = copy->GetLayer(0);
  ASSERT_EQ(copyLayer->GetFeatureCount(), c.features);
  long long compared = 0;
  for (auto& feature : *originalLayer) {
    // A feature without geometry is refused, and skipped (one county).
    if (feature->GetGeometryRef() == nullptr || feature->GetGeometryRef()->IsEmpty()) continue;
    OGRFeatureUniquePtr other(copyLayer->GetNextFeature());
    ASSERT_TRUE(other);
    const char* name = feature->GetFieldAsString("name");
    EXPECT_STREQ(other->GetFieldAsString("name"), name);
    EXPECT_STREQ(other->GetFieldAsString("key"), feature->GetFieldAsString("id")) << name;
    ExpectSameGeometry(*feature->GetGeometryRef(), *other->GetGeometryRef(), c.precision, name);
    ++compared;
  }
  EXPECT_EQ(compared, c.features);
}

INSTANTIATE_TEST_SUITE_P(SampleData, GdalRoundTripTest,
                         ::testing::Values(RoundTripCase{"Countries64", "ne_110m_countries.geojson", 64, 177},
                                           RoundTripCase{"Countries32", "ne_110m_countries.geojson", 32, 177},
                                           RoundTripCase{"Counties64", "us_counties_10m.geojson", 64, 3230},
                                           RoundTripCase{"Counties32", "us_counties_10m.geojson", 32, 3230}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.label; });

TEST(GdalReadTest, LayerReportsHeaderValuesMetadataAndSpatialReference) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("Countries.GAF");
  ASSERT_TRUE(Translate(gaf, DataFile("ne_110m_countries.geojson"),
                        {"-f", "Gaf", "-dsco", "DESCRIPTION=Natural Earth", "-lco", "KEY_FIELD=id"}));
  EXPECT_TRUE(FileExists(dir.File("Countries.SIF")));
  EXPECT_TRUE(FileExists(dir.File("Countries.KIF")));
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  EXPECT_STREQ(dataset->GetDriver()->GetDescription(), "Gaf");
  EXPECT_EQ(CPLStringList(dataset->GetFileList()).size(), 3);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_STREQ(layer->GetName(), "Countries");
  EXPECT_EQ(layer->GetGeomType(), wkbPolygon);
  EXPECT_TRUE(layer->TestCapability(OLCFastFeatureCount));
  EXPECT_TRUE(layer->TestCapability(OLCFastGetExtent));
  EXPECT_FALSE(layer->TestCapability(OLCSequentialWrite));
  EXPECT_EQ(layer->GetFeatureCount(FALSE), 177);
  OGREnvelope extent;
  ASSERT_EQ(layer->GetExtent(&extent, FALSE), OGRERR_NONE);
  EXPECT_EQ(extent.MinX, -180.0);
  EXPECT_EQ(extent.MaxX, 180.0);
  EXPECT_STREQ(layer->GetMetadataItem("DESCRIPTION"), "Natural Earth");
  EXPECT_STREQ(layer->GetMetadataItem("PRECISION"), "64");
  EXPECT_STREQ(layer->GetMetadataItem("COORDSYS_CODE"), "LL84");
  EXPECT_STREQ(layer->GetMetadataItem("ELLIPSOID_EQUATORIAL_RADIUS"), "6378137");
  // The 28 values of the coordinate-system record, the description, the precision.
  EXPECT_EQ(CSLCount(layer->GetMetadata()), 30);
  const OGRSpatialReference* srs = layer->GetSpatialRef();
  ASSERT_NE(srs, nullptr);
  EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "4326");
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  ASSERT_EQ(defn->GetFieldCount(), 3);
  EXPECT_STREQ(defn->GetFieldDefn(0)->GetNameRef(), "name");
  EXPECT_STREQ(defn->GetFieldDefn(1)->GetNameRef(), "key");
  EXPECT_STREQ(defn->GetFieldDefn(2)->GetNameRef(), "url");
}

TEST(GdalReadTest, RingsOfAMultiPolygonRecordCanStayPolygonsOfTheirOwn) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("holes.gaf");
  // Lesotho is a hole of South Africa's outline.
  ASSERT_TRUE(Translate(gaf, DataFile("ne_110m_countries.geojson"),
                        {"-f", "Gaf", "-where", "name = 'South Africa'"}));
  for (const auto& [option, polygons, holes] :
       {std::tuple{"ORGANIZE_POLYGONS=DEFAULT", 1, 1}, std::tuple{"ORGANIZE_POLYGONS=SKIP", 2, 0}}) {
    GDALDatasetUniquePtr dataset = OpenVector(gaf, 0, {option});
    ASSERT_TRUE(dataset);
    OGRFeatureUniquePtr feature(dataset->GetLayer(0)->GetNextFeature());
    ASSERT_TRUE(feature);
    std::unique_ptr<OGRGeometry> multi(OGRGeometryFactory::forceToMultiPolygon(feature->GetGeometryRef()->clone()));
    const OGRMultiPolygon* parts = multi->toMultiPolygon();
    EXPECT_EQ(parts->getNumGeometries(), polygons) << option;
    int interior = 0;
    for (const OGRPolygon* part : *parts) interior += part->getNumInteriorRings();
    EXPECT_EQ(interior, holes) << option;
  }
}

}  // namespace
}  // namespace kro::test
