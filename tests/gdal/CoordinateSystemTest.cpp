// Coordinate systems through the driver: an EPSG system goes into the
// coordinate-system record by its code and comes back as the same system;
// WGS 84 longitude/latitude keeps the record's default bytes; a system
// without an EPSG code keeps its name and parameters as metadata; another
// program's code reads as no system.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "GdalTestSupport.h"
#include "engine/datafile/GafCoordSys.h"
#include "fileset/CGafWriter.h"
#include "support/GafBytes.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

struct SystemCase {
  const char* label;
  int epsg;
  std::vector<std::string> box;  // of the countries to take, in degrees
  std::vector<std::pair<const char*, const char*>> items;  // metadata the record gives
};

class GdalCoordinateSystemTest : public ::testing::TestWithParam<SystemCase> {
 protected:
  void SetUp() override { RegisterDrivers(); }
  TempDir dir_;
};

OGRSpatialReference Epsg(int code) {
  OGRSpatialReference srs;
  srs.importFromEPSG(code);
  return srs;
}

bool IsSameSystem(const OGRSpatialReference* srs, int epsg) {
  const OGRSpatialReference expected = Epsg(epsg);
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
  return srs != nullptr && srs->IsSame(&expected, options);
}

TEST_P(GdalCoordinateSystemTest, AnEpsgSystemComesBackThroughGafAndBack) {
  const SystemCase& c = GetParam();
  const std::string source = dir_.File("source.gpkg");
  const std::string gaf = dir_.File("set.gaf");
  const std::string back = dir_.File("back.gpkg");
  std::vector<std::string> toSource{"-f", "GPKG", "-t_srs", "EPSG:" + std::to_string(c.epsg), "-spat"};
  toSource.insert(toSource.end(), c.box.begin(), c.box.end());
  ASSERT_TRUE(Translate(source, DataFile("ne_110m_countries.geojson"), toSource));
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf"}));
  ASSERT_TRUE(Translate(back, gaf, {"-f", "GPKG"}));

  GDALDatasetUniquePtr set = OpenVector(gaf);
  ASSERT_TRUE(set);
  OGRLayer* layer = set->GetLayer(0);
  EXPECT_TRUE(IsSameSystem(layer->GetSpatialRef(), c.epsg));
  EXPECT_STREQ(layer->GetMetadataItem("COORDSYS_CODE"), ("EPSG:" + std::to_string(c.epsg)).c_str());
  EXPECT_STREQ(layer->GetMetadataItem("COORDSYS_DESCRIPTION"), Epsg(c.epsg).GetName());
  for (const auto& [item, value] : c.items) EXPECT_STREQ(layer->GetMetadataItem(item), value) << item;

  GDALDatasetUniquePtr copy = OpenVector(back);
  GDALDatasetUniquePtr original = OpenVector(source);
  ASSERT_TRUE(copy && original);
  EXPECT_TRUE(IsSameSystem(copy->GetLayer(0)->GetSpatialRef(), c.epsg));
  OGREnvelope before;
  OGREnvelope after;
  ASSERT_EQ(original->GetLayer(0)->GetExtent(&before), OGRERR_NONE);
  ASSERT_EQ(copy->GetLayer(0)->GetExtent(&after), OGRERR_NONE);
  EXPECT_EQ(after.MinX, before.MinX);
  EXPECT_EQ(after.MaxY, before.MaxY);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, GdalCoordinateSystemTest,
    ::testing::Values(
        SystemCase{"Utm33North", 32633, {"12", "47", "16", "50"},
                   {{"COORDSYS_PROJECTION_CODE", "Transverse_Mercator"},
                    {"COORDSYS_ORIGIN_LONGITUDE", "15"},
                    {"COORDSYS_X_OFFSET", "500000"},
                    {"COORDSYS_SCALE_REDUCTION", "0.99960000000000004"},
                    {"COORDSYS_UNIT_CODE", "metre"},
                    {"DATUM_CODE", "EPSG:6326"}}},
        SystemCase{"BritishNationalGrid", 27700, {"-6", "50", "1", "58"},
                   {{"COORDSYS_ORIGIN_LONGITUDE", "-2"},
                    {"COORDSYS_ORIGIN_LATITUDE", "49"},
                    {"COORDSYS_X_OFFSET", "400000"},
                    {"COORDSYS_Y_OFFSET", "-100000"},
                    {"DATUM_CODE", "EPSG:6277"},
                    {"ELLIPSOID_CODE", "EPSG:7001"},
                    {"ELLIPSOID_EQUATORIAL_RADIUS", "6377563.3959999997"}}},
        SystemCase{"SwissLv95", 2056, {"6", "46", "10", "47.5"},
                   {{"COORDSYS_PROJECTION_CODE", "Hotine_Oblique_Mercator_Azimuth_Center"},
                    {"COORDSYS_X_OFFSET", "2600000"},
                    {"COORDSYS_Y_OFFSET", "1200000"},
                    {"ELLIPSOID_EQUATORIAL_RADIUS", "6377397.1550000003"}}},
        SystemCase{"Etrs89Geographic", 4258, {"6", "46", "10", "47.5"},
                   {{"COORDSYS_GROUP_CODE", "LL"},
                    {"COORDSYS_PROJECTION_CODE", "LL"},
                    {"COORDSYS_UNIT_CODE", "degree"},
                    {"COORDSYS_UNIT_SCALE", "111319.49079327357"},
                    {"ELLIPSOID_CODE", "EPSG:7019"}}}),
    [](const ::testing::TestParamInfo<SystemCase>& info) { return info.param.label; });

// The set's bytes from the header on, up to the first record or the end.
Bytes HeaderBody(const Bytes& file, size_t length) { return Bytes(file.begin() + 46, file.begin() + 46 + length); }

// However GDAL hands WGS 84 longitude/latitude over, the record is the
// library's default one, the bytes that sets have always had.
TEST(GdalWgs84Test, Wgs84SetsKeepTheDefaultRecordByteForByte) {
  RegisterDrivers();
  TempDir dir;
  const std::string reference = dir.File("reference.gaf");
  CGafWriter writer;
  ASSERT_EQ(writer.Open(reference.c_str(), kGafCreateNew, 0), 0u);
  writer.SetPrecision(64);
  writer.SetRingRolesByOrientation();  // as the driver's sets do
  const GafCoordSys wgs84;
  writer.SetCoordSys(&wgs84);
  ASSERT_EQ(writer.Finish(), eKroOk);
  const Bytes expected = ReadFileBytes(reference);
  const size_t headerLength = expected.size() - 46 - 2;  // without the info and end-of-data chunks

  const std::string countries = DataFile("ne_110m_countries.geojson");
  std::vector<Bytes> sets;
  for (const std::vector<std::string>& srs : std::vector<std::vector<std::string>>{
           {}, {"-a_srs", "EPSG:4326"}, {"-a_srs", "+proj=longlat +datum=WGS84 +no_defs"}, {"-a_srs", "WGS84"}}) {
    const std::string gaf = dir.File("set" + std::to_string(sets.size()) + ".gaf");
    std::vector<std::string> arguments{"-f", "Gaf"};
    arguments.insert(arguments.end(), srs.begin(), srs.end());
    ASSERT_TRUE(Translate(gaf, countries, arguments));
    sets.push_back(ReadFileBytes(gaf));
    EXPECT_EQ(ToHex(HeaderBody(sets.back(), headerLength)), ToHex(HeaderBody(expected, headerLength)))
        << arguments.back();
    EXPECT_EQ(sets.back(), sets.front()) << arguments.back();
    GDALDatasetUniquePtr dataset = OpenVector(gaf);
    EXPECT_STREQ(dataset->GetLayer(0)->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
  }
}

// A system GDAL knows no EPSG code for: the record keeps its name, cut to
// 255 bytes between characters, and its parameters; reading gives them as
// metadata and no coordinate system.
TEST(GdalCustomSystemTest, ASystemWithoutEpsgCodeKeepsItsNameAndParametersAsMetadata) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("custom.gaf");
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "\xC3\x9C";  // U+00DC, 400 bytes
  OGRSpatialReference srs;
  srs.SetProjCS(longName.c_str());
  srs.SetGeogCS("Local geographic", "Local datum", "Bessel 1841", 6377397.155, 299.1528128);
  srs.SetTOWGS84(598.1, 73.7, 418.2, 0.202, 0.045, -2.455, 6.7);
  srs.SetTM(12.5, 7.3, 0.9999, 123456, -7000);
  {
    CapturedMessages messages;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("Gaf");
    GDALDatasetUniquePtr dataset(driver->Create(gaf.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_TRUE(dataset);
    OGRLayer* layer = dataset->CreateLayer("custom", &srs, wkbPoint);
    ASSERT_NE(layer, nullptr);
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetGeometryDirectly(new OGRPoint(123456, -7000));
    ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    EXPECT_TRUE(messages.Contains(CE_Warning, {gaf, "no EPSG code"})) << messages.All();
  }
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_EQ(layer->GetSpatialRef(), nullptr);
  EXPECT_STREQ(layer->GetMetadataItem("COORDSYS_CODE"), "");
  EXPECT_EQ(std::string(layer->GetMetadataItem("COORDSYS_DESCRIPTION")), longName.substr(0, 254));
  const std::pair<const char*, const char*> items[] = {
      {"COORDSYS_PROJECTION_CODE", "Transverse_Mercator"},
      {"COORDSYS_ORIGIN_LATITUDE", "12.5"},
      {"COORDSYS_ORIGIN_LONGITUDE", "7.2999999999999998"},
      {"COORDSYS_SCALE_REDUCTION", "0.99990000000000001"},
      {"COORDSYS_X_OFFSET", "123456"},
      {"COORDSYS_Y_OFFSET", "-7000"},
      {"COORDSYS_UNIT_SCALE", "1"},
      {"DATUM_DESCRIPTION", "Local datum"},
      {"DATUM_DELTA_X", "598.10000000000002"},
      {"DATUM_ROTATION_Z", "-2.4550000000000001"},
      {"DATUM_BW_SCALE_FACTOR", "6.7000000000000002"},
      {"ELLIPSOID_DESCRIPTION", "Bessel 1841"},
      {"ELLIPSOID_EQUATORIAL_RADIUS", "6377397.1550000003"},
  };
  for (const auto& [item, value] : items) EXPECT_STREQ(layer->GetMetadataItem(item), value) << item;
}

// Codes other programs write, and EPSG codes GDAL does not know: no system,
// the record as metadata, and nothing reported.
TEST(GdalForeignCodeTest, AnotherProgramsCodeReadsAsNoSystemWithItsMetadata) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("foreign.gaf");
  for (const char* code : {"UTM83-10", "EPSG:999999", "EPSG:32633x", "EPSG:"}) {
    {
      CGafWriter writer;
      ASSERT_EQ(writer.Open(gaf.c_str(), kGafCreateNew, 0), 0u);
      GafCoordSys record;
      GafCoordSys::SetText(record.code, code);
      writer.SetCoordSys(&record);
      ASSERT_EQ(writer.Write(Record(kGafPointObject, {1}, {{500000, 4000000}}, "a", "1"), nullptr), eKroOk);
      ASSERT_EQ(writer.Finish(), eKroOk);
    }
    CapturedMessages messages;
    GDALDatasetUniquePtr dataset = OpenVector(gaf);
    ASSERT_TRUE(dataset) << code;
    OGRLayer* layer = dataset->GetLayer(0);
    EXPECT_EQ(layer->GetSpatialRef(), nullptr) << code;
    EXPECT_STREQ(layer->GetMetadataItem("COORDSYS_CODE"), code);
    EXPECT_STREQ(layer->GetMetadataItem("DATUM_CODE"), "WGS84") << code;
    EXPECT_EQ(messages.Count(CE_Failure) + messages.Count(CE_Warning), 0u) << code << "\n" << messages.All();
  }
}

}  // namespace
}  // namespace kro::test
