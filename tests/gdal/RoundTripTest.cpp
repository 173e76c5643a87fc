// GeoJSON -> Gaf -> GeoJSON through ogr2ogr's library call: every feature
// comes back with its name, its key and its geometry, exactly at 64-bit and
// as the single nearest to each coordinate at 32-bit, its rings in their
// roles (exterior or hole of the same polygon) even where they are invalid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "GdalTestSupport.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"
#include "support/GafBytes.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

struct RoundTripCase {
  const char* label;
  const char* data;
  int precision;
  long long features;
  // Rings that come back reversed: those whose orientation does not follow
  // the convention the first ring of their record sets (rings across the
  // antimeridian); every other ring comes back exactly as it went in.
  long long reversedRings;
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

// The vertices as a set of `precision` bits stores them.
std::vector<std::pair<double, double>> StoredVertices(const OGRGeometry& geometry, int precision) {
  std::vector<std::pair<double, double>> vertices = Vertices(geometry);
  if (precision == 32) {
    for (auto& [x, y] : vertices) {
      x = static_cast<float>(x);
      y = static_cast<float>(y);
    }
  }
  return vertices;
}

std::vector<const OGRPolygon*> PolygonsOf(const OGRGeometry& geometry) {
  if (wkbFlatten(geometry.getGeometryType()) == wkbPolygon) return {geometry.toPolygon()};
  std::vector<const OGRPolygon*> polygons;
  for (const OGRPolygon* polygon : *geometry.toMultiPolygon()) polygons.push_back(polygon);
  return polygons;
}

// A Polygon comes back as a Polygon; a MultiPolygon as a MultiPolygon, or as
// a Polygon when it has one part (its rings are one multi-polygon record,
// as a Polygon's with holes are).
bool SameKind(const OGRGeometry& original, const OGRGeometry& back) {
  const OGRwkbGeometryType from = wkbFlatten(original.getGeometryType());
  const OGRwkbGeometryType to = wkbFlatten(back.getGeometryType());
  return from == to ||
         (from == wkbMultiPolygon && to == wkbPolygon && original.toMultiPolygon()->getNumGeometries() == 1);
}

// The same polygons in the same order with the same rings, each ring as
// stored (itself at 64 bits, the nearest singles at 32) and either equal or
// equal reversed (counted in `reversed`): the writer keeps every ring's
// roles in its orientation.
void ExpectSamePolygons(const OGRGeometry& original, const OGRGeometry& back, int precision, const char* name,
                        long long& reversed) {
  const std::vector<const OGRPolygon*> from = PolygonsOf(original);
  const std::vector<const OGRPolygon*> to = PolygonsOf(back);
  ASSERT_EQ(from.size(), to.size()) << name << ": polygons";
  for (size_t p = 0; p < from.size(); ++p) {
    ASSERT_EQ(from[p]->getNumInteriorRings(), to[p]->getNumInteriorRings()) << name << ": holes of polygon " << p;
    for (int r = 0; r <= from[p]->getNumInteriorRings(); ++r) {
      const OGRLinearRing* fromRing = r == 0 ? from[p]->getExteriorRing() : from[p]->getInteriorRing(r - 1);
      const OGRLinearRing* toRing = r == 0 ? to[p]->getExteriorRing() : to[p]->getInteriorRing(r - 1);
      std::vector<std::pair<double, double>> expected = StoredVertices(*fromRing, precision);
      const std::vector<std::pair<double, double>> found = Vertices(*toRing);
      if (found != expected) {
        std::reverse(expected.begin(), expected.end());
        ++reversed;
      }
      EXPECT_EQ(found, expected) << name << ": ring " << r << " of polygon " << p;
    }
  }
}

void ExpectSameGeometry(const OGRGeometry& original, const OGRGeometry& back, int precision, const char* name,
                        long long& reversed) {
  ASSERT_TRUE(SameKind(original, back)) << name << ": " << back.getGeometryName();
  if (OGR_GT_IsSubClassOf(wkbFlatten(original.getGeometryType()), wkbCurvePolygon) ||
      wkbFlatten(original.getGeometryType()) == wkbMultiPolygon) {
    return ExpectSamePolygons(original, back, precision, name, reversed);
  }
  EXPECT_EQ(Vertices(back), StoredVertices(original, precision)) << name;
}

TEST_P(GdalRoundTripTest, GeoJsonToGafToGeoJsonKeepsNamesKeysAndGeometry) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  // GDAL reads a compressed sample through its gzip file system.
  const bool gzip = std::string(c.data).find(".gz") != std::string::npos;
  const std::string source = (gzip ? "/vsigzip/" : "") + DataFile(c.data);
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
  long long reversed = 0;
  for (auto& feature : *originalLayer) {
    // A feature without geometry is refused, and skipped (one county).
    if (feature->GetGeometryRef() == nullptr || feature->GetGeometryRef()->IsEmpty()) continue;
    OGRFeatureUniquePtr other(copyLayer->GetNextFeature());
    ASSERT_TRUE(other);
    const char* name = feature->GetFieldAsString("name");
    EXPECT_STREQ(other->GetFieldAsString("name"), name);
    EXPECT_STREQ(other->GetFieldAsString("key"), feature->GetFieldAsString("id")) << name;
    ExpectSameGeometry(*feature->GetGeometryRef(), *other->GetGeometryRef(), c.precision, name, reversed);
    ++compared;
  }
  EXPECT_EQ(compared, c.features);
  EXPECT_EQ(reversed, c.reversedRings);
}

INSTANTIATE_TEST_SUITE_P(SampleData, GdalRoundTripTest,
                         ::testing::Values(RoundTripCase{"Countries64", "ne_110m_countries.geojson", 64, 177, 3},
                                           RoundTripCase{"Countries32", "ne_110m_countries.geojson", 32, 177, 3},
                                           RoundTripCase{"Countries50m64", "ne_50m_countries.geojson.gz", 64, 241, 3},
                                           RoundTripCase{"Countries50m32", "ne_50m_countries.geojson.gz", 32, 241, 3},
                                           RoundTripCase{"Counties64", "us_counties_10m.geojson", 64, 3230, 0},
                                           RoundTripCase{"Counties32", "us_counties_10m.geojson", 32, 3230, 0}),
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


std::unique_ptr<OGRGeometry> FromWkt(const std::string& wkt) {
  OGRGeometry* geometry = nullptr;
  OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &geometry);
  return std::unique_ptr<OGRGeometry>(geometry);
}

// `count` unit squares side by side, each a polygon of its own, clockwise.
std::string SquaresWkt(int count) {
  std::string wkt = "MULTIPOLYGON (";
  for (int i = 0; i < count; ++i) {
    const std::string x0 = std::to_string(2 * i);
    const std::string x1 = std::to_string(2 * i + 1);
    wkt += (i == 0 ? "((" : ",((") + x0 + " 0," + x0 + " 1," + x1 + " 1," + x1 + " 0," + x0 + " 0))";
  }
  return wkt + ")";
}

int RingCount(const OGRGeometry& polygonal) {
  int count = 0;
  for (const OGRPolygon* polygon : PolygonsOf(polygonal)) count += 1 + polygon->getNumInteriorRings();
  return count;
}

struct RingCase {
  const char* label;
  std::string wkt;
  // Rings stored reversed: those against the orientation the record's
  // first ring gives its exteriors (or, for holes, against the other).
  long long reversedRings = 0;
};

std::vector<RingCase> RingCases() {
  return {
      {"bow-tie exterior beside a square",
       "MULTIPOLYGON (((0 0,10 0,10 10,0 10,0 0)),((20 0,30 10,30 0,20 4,20 0)))", 1},
      {"bow-tie hole without area", "POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,4 4,4 2,2 4,2 2))"},
      {"band from -180 to 180 with an island in it",
       "MULTIPOLYGON (((-180 -90,180 -90,180 -60,-180 -60,-180 -90)),((170 -70,175 -70,175 -65,170 -65,170 -70)))"},
      {"ring along a parallel with the continent as its hole",
       "POLYGON ((-180 -89.999,178 -89.999,90 -89.999,0 -89.999,-90 -89.999,-178 -89.999,-180 -89.999),"
       "(-180 -80,-90 -70,0 -75,90 -70,180 -80,-180 -80))", 1},
      {"island, then a ring along a parallel with the continent as its hole",
       "MULTIPOLYGON (((-60 -65,-59 -65,-59 -64,-60 -65)),"
       "((-180 -89.999,178 -89.999,90 -89.999,0 -89.999,-90 -89.999,-178 -89.999,-180 -89.999),"
       "(-180 -80,-90 -70,0 -75,90 -70,180 -80,-180 -80)))", 1},
      {"island in a lake in an island",
       "MULTIPOLYGON (((0 0,10 0,10 10,0 10,0 0),(2 2,8 2,8 8,2 8,2 2)),((4 4,6 4,6 6,4 6,4 4)))", 1},
      {"hole in the exterior's orientation", "POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,8 2,8 8,2 8,2 2))", 1},
      {"clockwise exterior, counter-clockwise hole", "POLYGON ((0 0,0 10,10 10,10 0,0 0),(2 2,8 2,8 8,2 8,2 2))"},
      {"overlapping polygons", "MULTIPOLYGON (((0 0,10 0,10 10,0 10,0 0)),((1 1,9 1,9 9,1 9,1 1)))"},
      {"5000 rings", SquaresWkt(5000)},
  };
}

// The cases as a GeoJSON file, one feature each, named by its label.
void WriteCasesAsGeoJson(const std::string& path, const std::vector<RingCase>& cases) {
  std::ofstream out(path);
  out << "{\"type\":\"FeatureCollection\",\"features\":[";
  for (size_t i = 0; i < cases.size(); ++i) {
    char* json = FromWkt(cases[i].wkt)->exportToJson();
    out << (i == 0 ? "" : ",") << "{\"type\":\"Feature\",\"properties\":{\"name\":\"" << cases[i].label
        << "\"},\"geometry\":" << json << "}";
    CPLFree(json);
  }
  out << "]}";
}

class GdalRingRolesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDrivers();
    WriteCasesAsGeoJson(source, cases);
  }
  std::vector<std::unique_ptr<OGRGeometry>> ReadBack(const std::string& option, const std::string& set = {}) {
    std::vector<std::unique_ptr<OGRGeometry>> geometries;
    GDALDatasetUniquePtr dataset = OpenVector(set.empty() ? gaf : set, 0, {"ORGANIZE_POLYGONS=" + option});
    EXPECT_TRUE(dataset);
    if (!dataset) return geometries;
    for (auto& feature : *dataset->GetLayer(0)) geometries.emplace_back(feature->StealGeometry());
    return geometries;
  }
  const std::vector<RingCase> cases = RingCases();
  TempDir dir;
  const std::string source = dir.File("rings.geojson");
  const std::string gaf = dir.File("rings.gaf");
};

TEST_F(GdalRingRolesTest, InvalidNestedAndWrappingRingsKeepTheirRolesAt64And32Bits) {
  for (int precision : {64, 32}) {
    const std::string set = dir.File("rings" + std::to_string(precision) + ".gaf");
    ASSERT_TRUE(Translate(set, source, {"-f", "Gaf", "-dsco", "PRECISION=" + std::to_string(precision)}));
    const std::vector<std::unique_ptr<OGRGeometry>> back = ReadBack("DEFAULT", set);
    ASSERT_EQ(back.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
      const std::string name = cases[i].label + std::string(" at ") + std::to_string(precision);
      long long reversed = 0;
      ExpectSameGeometry(*FromWkt(cases[i].wkt), *back[i], precision, name.c_str(), reversed);
      EXPECT_EQ(reversed, cases[i].reversedRings) << name;
    }
  }
}

TEST_F(GdalRingRolesTest, ContainmentAndSkipAreChosenByTheOpenOption) {
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf"}));
  const std::vector<std::unique_ptr<OGRGeometry>> containment = ReadBack("CONTAINMENT");
  const std::vector<std::unique_ptr<OGRGeometry>> skip = ReadBack("SKIP");
  ASSERT_EQ(containment.size(), cases.size());
  ASSERT_EQ(skip.size(), cases.size());
  // Containment takes the island in the band for a hole of it.
  const OGRGeometry& band = *containment[2];
  ASSERT_EQ(wkbFlatten(band.getGeometryType()), wkbPolygon) << band.exportToWkt();
  EXPECT_EQ(band.toPolygon()->getNumInteriorRings(), 1);
  for (size_t i = 0; i < cases.size(); ++i) {
    ASSERT_EQ(wkbFlatten(skip[i]->getGeometryType()), wkbMultiPolygon) << cases[i].label;
    EXPECT_EQ(skip[i]->toMultiPolygon()->getNumGeometries(), RingCount(*FromWkt(cases[i].wkt))) << cases[i].label;
  }
}

TEST_F(GdalRingRolesTest, ManyRingsAreReadWithoutGdalsSlowProcessingWarning) {
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf"}));
  CapturedMessages messages;
  for (const char* option : {"DEFAULT", "CONTAINMENT"}) {
    const std::vector<std::unique_ptr<OGRGeometry>> back = ReadBack(option);
    ASSERT_EQ(back.size(), cases.size());
    EXPECT_EQ(back.back()->toMultiPolygon()->getNumGeometries(), 5000) << option;
  }
  EXPECT_FALSE(messages.Contains(CE_Warning, {"slow"})) << messages.All();
}

// Two rings of ten by ten and six by six, the smaller inside, written in
// the given order through the facade, as the component interfaces and other
// writers do: a new 64-bit set, or an append.
void WriteTwoRingsThroughTheFacade(const std::string& gaf, EKroGafOpenFlags mode,
                                   const std::vector<CKroDoublePointNode>& points) {
  CGafWriter writer;
  ASSERT_EQ(writer.Open(gaf.c_str(), mode, 0), eKroOk);
  if (mode == kGafCreateNew) {
    ASSERT_EQ(writer.SetPrecision(64), eKroOk);
  }
  ASSERT_EQ(writer.Write(Record(kGafPolyPolygonObject, {5, 5}, points, "rings"), nullptr), eKroOk);
  ASSERT_EQ(writer.Finish(), eKroOk);
}

// Whether the record at `index` of the set reads back, by default, as one
// polygon with one hole, as containment makes of the two rings.
void ExpectOneHoleByContainment(const std::vector<std::unique_ptr<OGRGeometry>>& back, size_t index) {
  ASSERT_EQ(back.size(), index + 1);
  ASSERT_EQ(wkbFlatten(back[index]->getGeometryType()), wkbPolygon) << back[index]->exportToWkt();
  EXPECT_EQ(back[index]->toPolygon()->getNumInteriorRings(), 1);
}

bool MarkedForRingRoles(const std::string& gaf) {
  CGafReader reader;
  return reader.OpenForRead(gaf.c_str(), kGafReadOnly) == eKroOk && reader.RingRolesByOrientation();
}

// What the component interfaces write: rings in any orientation, a header
// without the ring-roles chunk.
TEST_F(GdalRingRolesTest, SetsWrittenThroughTheFacadeAreOrganisedByContainment) {
  // A counter-clockwise hole first, then its counter-clockwise exterior.
  WriteTwoRingsThroughTheFacade(
      gaf, kGafCreateNew, {{2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}, {0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
  // Info (46), version (4), precision (4), end of header (2): no other chunk.
  const Bytes bytes = ReadFileBytes(gaf);
  ASSERT_GT(bytes.size(), 56u);
  EXPECT_EQ(Bytes(bytes.begin() + 46, bytes.begin() + 56), HexBytes("40 02 00 02 48 02 00 40 08 00"));
  EXPECT_FALSE(MarkedForRingRoles(gaf));
  ExpectOneHoleByContainment(ReadBack("DEFAULT"), 0);
}

// A record appended to a driver-written set by another writer is read by the
// rule too: its first ring's orientation is its exteriors' (here clockwise,
// as many hosts write them), the other orientation its holes'; the header
// stays as it was.
TEST_F(GdalRingRolesTest, ARecordAppendedByAnotherWriterIsReadByItsFirstRingsOrientation) {
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf", "-limit", "1"}));
  WriteTwoRingsThroughTheFacade(
      gaf, kGafOpenAppend, {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}, {2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}});
  EXPECT_TRUE(MarkedForRingRoles(gaf));
  ExpectOneHoleByContainment(ReadBack("DEFAULT"), 1);
}

}  // namespace
}  // namespace kro::test
