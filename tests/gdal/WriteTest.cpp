// Writing through GDAL's API: how each geometry maps to records, which
// features are refused (with an error naming each, the others written), the
// capabilities of each open mode, the fields a layer takes, the geometry
// types a layer keeps, appending to an existing set, and the refusals of
// Create.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "GdalTestSupport.h"
#include "engine/datafile/GafFormat.h"
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
  // Sized once: growing a ring point by point copies it every time.
  auto ring = std::make_unique<OGRLinearRing>();
  ring->setNumPoints(vertices, FALSE);
  for (int i = 0; i < vertices - 1; ++i) ring->setPoint(i, std::cos(i * 1e-4), std::sin(i * 1e-4));
  ring->setPoint(vertices - 1, 1.0, 0.0);
  auto polygon = std::make_unique<OGRPolygon>();
  polygon->addRingDirectly(ring.release());
  return polygon;
}

// A feature of one point and key `key`; the layer's answer.
OGRErr WritePoint(OGRLayer& layer, double x, const char* key = "k") {
  OGRFeature feature(layer.GetLayerDefn());
  if (feature.GetFieldIndex("key") >= 0) feature.SetField("key", key);
  OGRPoint point(x, 1);
  feature.SetGeometry(&point);
  return layer.CreateFeature(&feature);
}

OGRErr WriteWkt(OGRLayer& layer, const char* wkt) {
  OGRFeature feature(layer.GetLayerDefn());
  feature.SetGeometry(FromWkt(wkt).get());
  return layer.CreateFeature(&feature);
}

// A set with fields name, key, url and one point.
std::string MakePointSet(const TempDir& dir, const char* name, int precision) {
  const std::string gaf = dir.File(name);
  GDALDatasetUniquePtr dataset = CreateSet(gaf, {"PRECISION=" + std::to_string(precision)});
  OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbPoint, nullptr);
  for (const char* field : {"name", "key", "url"}) {
    OGRFieldDefn definition(field, OFTString);
    layer->CreateField(&definition);
  }
  EXPECT_EQ(WritePoint(*layer, 1), OGRERR_NONE);
  return gaf;
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
  add("open ring", FromWkt("POLYGON ((0 0,1 0,1 1,0 1))"), {},
      "kinds.gaf: a polygon ring is open or empty (eGafPolygonUnclosed)");
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
    for (const char* field : {"Name", "KEY", "url"}) {
      OGRFieldDefn definition(field, OFTString);
      ASSERT_EQ(layer->CreateField(&definition), OGRERR_NONE);
    }
    size_t refused = 0;
    GIntBig fid = 100;
    for (WriteCase& c : cases) {
      OGRFeature feature(layer->GetLayerDefn());
      feature.SetFID(fid++);
      feature.SetField("Name", c.label);
      feature.SetField("url", std::string(300, 'u').c_str());
      feature.SetField("KEY", c.key.c_str());
      if (c.geometry) feature.SetGeometry(c.geometry.get());
      const OGRErr result = layer->CreateFeature(&feature);
      if (c.readBack.empty()) {
        ++refused;
        EXPECT_EQ(result, OGRERR_FAILURE) << c.label;
        EXPECT_EQ(feature.GetFID(), fid - 1) << c.label;
        EXPECT_TRUE(messages.Contains(CE_Failure, {"feature " + std::to_string(fid - 1) + " not written", c.reason}))
            << c.label << "\n" << messages.All();
      } else {
        EXPECT_EQ(result, OGRERR_NONE) << c.label;
        EXPECT_GT(feature.GetFID(), 0) << c.label;
      }
    }
    // A feature without an FID, as ogr2ogr hands them over, is named by its turn.
    OGRFeature nameless(layer->GetLayerDefn());
    EXPECT_EQ(layer->CreateFeature(&nameless), OGRERR_FAILURE);
    EXPECT_TRUE(messages.Contains(CE_Failure, {"feature #" + std::to_string(cases.size() + 1) + " not written"}))
        << messages.All();
    EXPECT_EQ(messages.Count(CE_Failure), refused + 1) << messages.All();
  }
  EXPECT_TRUE(messages.Contains(CE_Warning, {"feature(s) were not written"})) << messages.All();
  EXPECT_TRUE(messages.Contains(CE_Warning, {"a text of 300 bytes", "first 255 bytes"})) << messages.All();

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

TEST(GdalWriteTest, DeleteLayerStartsTheSetAgainWithItsOptionsAndRemovesItWhenNoLayerFollows) {
  TempDir dir;
  const std::string gaf = MakePointSet(dir, "set.gaf", 64);
  {
    GDALDatasetUniquePtr dataset = OpenVector(gaf, GDAL_OF_UPDATE);
    ASSERT_EQ(dataset->DeleteLayer(0), OGRERR_NONE);
  }
  for (const char* file : {"set.gaf", "set.sif", "set.kif"}) EXPECT_FALSE(FileExists(dir.File(file))) << file;

  const std::string created = dir.File("created.gaf");
  {
    GDALDatasetUniquePtr dataset = CreateSet(created, {"PRECISION=32", "KEY_INDEX=NO", "DESCRIPTION=kept"});
    ASSERT_EQ(WritePoint(*dataset->CreateLayer("set", nullptr, wkbPoint), 1), OGRERR_NONE);
    ASSERT_EQ(dataset->DeleteLayer(0), OGRERR_NONE);
    OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbLineString);
    ASSERT_NE(layer, nullptr);
    ASSERT_EQ(WriteWkt(*layer, "LINESTRING (0 0,1 1)"), OGRERR_NONE);
  }
  GDALDatasetUniquePtr dataset = OpenVector(created);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  EXPECT_EQ(layer->GetFeatureCount(), 1);
  EXPECT_EQ(layer->GetGeomType(), wkbLineString);
  EXPECT_STREQ(layer->GetMetadataItem("PRECISION"), "32");
  EXPECT_STREQ(layer->GetMetadataItem("DESCRIPTION"), "kept");
  EXPECT_FALSE(FileExists(dir.File("created.kif")));
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

// A set created in map order: reading the layer ends the ordered export
// there, and the features written after it are appended to the ordered set.
TEST(GdalWriteTest, ASetInMapOrderIsWrittenWhenReadAndTakesLaterFeaturesAsAppends) {
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  {
    GDALDatasetUniquePtr dataset = CreateSet(gaf, {"SPATIAL_ORDER=HILBERT"});
    ASSERT_TRUE(dataset);
    OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbPoint, nullptr);
    ASSERT_TRUE(layer);
    for (double x : {50.0, -70.0, 10.0}) ASSERT_EQ(WritePoint(*layer, x), OGRERR_NONE);
    std::vector<double> order;
    for (auto& feature : *layer) order.push_back(feature->GetGeometryRef()->toPoint()->getX());
    EXPECT_EQ(order.size(), 3u);
    EXPECT_NE(order, (std::vector<double>{50, -70, 10})) << "the set is in map order, not as written";
    ASSERT_EQ(WritePoint(*layer, 30), OGRERR_NONE);
  }
  GDALDatasetUniquePtr reopened = OpenVector(gaf);
  ASSERT_TRUE(reopened);
  OGRLayer* layer = reopened->GetLayer(0);
  EXPECT_EQ(layer->GetFeatureCount(), 4);
  layer->SetSpatialFilterRect(25, 0, 35, 2);
  EXPECT_EQ(layer->GetFeatureCount(), 1) << "the appended feature is in the spatial index";
}

TEST(GdalWriteTest, RefusalsOfCreateAndOfAppendingNameTheFileAndTheReason) {
  TempDir dir;
  CapturedMessages messages;
  EXPECT_FALSE(CreateSet(dir.File("set.shp")));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"set.shp", ".gaf"})) << messages.All();
  EXPECT_FALSE(CreateSet(dir.File("set.gaf"), {"PRECISION=16"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"PRECISION"})) << messages.All();
  EXPECT_FALSE(CreateSet(dir.File("set.gaf"), {"SPATIAL_ORDER=Z"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"SPATIAL_ORDER"})) << messages.All();
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

struct Claims {
  bool createLayer;
  bool deleteLayer;
  bool sequentialWrite;
  bool createField;
};

// Each capability of the dataset and of its layer, claimed or not, put to
// work: a claimed one works, an unclaimed one fails with an error. Unclaimed
// ones first, so that the claimed ones find the dataset as it was.
void ExpectClaimsHold(GDALDataset& dataset, const Claims& claims) {
  CapturedMessages messages;
  OGRLayer* layer = dataset.GetLayer(0);
  EXPECT_EQ(dataset.TestCapability(ODsCCreateLayer) != 0, claims.createLayer);
  EXPECT_EQ(dataset.TestCapability(ODsCDeleteLayer) != 0, claims.deleteLayer);
  if (layer != nullptr) {
    EXPECT_EQ(layer->TestCapability(OLCSequentialWrite) != 0, claims.sequentialWrite);
    EXPECT_EQ(layer->TestCapability(OLCCreateField) != 0, claims.createField);
    EXPECT_FALSE(layer->TestCapability(OLCRandomWrite));
    EXPECT_FALSE(layer->TestCapability(OLCDeleteFeature));
    EXPECT_FALSE(layer->TestCapability(OLCTransactions));
  }
  auto expectRefused = [&messages](bool refused, const char* what) {
    EXPECT_TRUE(refused) << what;
    EXPECT_GT(messages.Count(CE_Failure), 0u) << what;
    messages.Clear();
  };
  const int fields = layer != nullptr ? layer->GetLayerDefn()->GetFieldCount() : 0;
  OGRFieldDefn url("url", OFTString);
  if (layer != nullptr && !claims.createField) {
    OGRFieldDefn extra("extra", OFTString);
    expectRefused(layer->CreateField(&extra) == OGRERR_FAILURE, "CreateField");
    layer->CreateField(&url);
    EXPECT_EQ(layer->GetLayerDefn()->GetFieldCount(), fields);
  }
  if (layer != nullptr && !claims.sequentialWrite) expectRefused(WritePoint(*layer, 2) == OGRERR_FAILURE, "write");
  if (!claims.createLayer) expectRefused(dataset.CreateLayer("x", nullptr, wkbPoint) == nullptr, "CreateLayer");
  if (!claims.deleteLayer) expectRefused(dataset.DeleteLayer(0) == OGRERR_FAILURE, "DeleteLayer");

  if (claims.createField) {
    EXPECT_EQ(layer->CreateField(&url), OGRERR_NONE);
    EXPECT_EQ(layer->GetLayerDefn()->GetFieldCount(), fields + 1);
  }
  if (claims.sequentialWrite) {
    EXPECT_EQ(WritePoint(*layer, 2), OGRERR_NONE);
  }
  if (claims.createLayer) {
    EXPECT_NE(dataset.CreateLayer("x", nullptr, wkbPoint), nullptr);
  }
  if (claims.deleteLayer) {
    EXPECT_EQ(dataset.DeleteLayer(0), OGRERR_NONE);
    EXPECT_EQ(dataset.GetLayerCount(), 0);
    EXPECT_TRUE(dataset.TestCapability(ODsCCreateLayer));
  }
  EXPECT_EQ(messages.Count(CE_Failure), 0u) << messages.All();
}

struct OpenModeCase {
  const char* label;
  std::function<GDALDatasetUniquePtr(const TempDir&)> open;
  Claims claims;
};

std::vector<OpenModeCase> OpenModeCases() {
  auto update = [](const std::string& gaf) { return OpenVector(gaf, GDAL_OF_UPDATE); };
  return {
      {"new set", [](const TempDir& dir) { return CreateSet(dir.File("new.gaf")); }, {true, false, false, false}},
      {"new layer",
       [](const TempDir& dir) {
         GDALDatasetUniquePtr dataset = CreateSet(dir.File("new.gaf"));
         dataset->CreateLayer("set", nullptr, wkbPoint);
         return dataset;
       },
       {false, true, true, true}},
      {"new 32-bit layer after reading",
       [](const TempDir& dir) {
         GDALDatasetUniquePtr dataset = CreateSet(dir.File("new.gaf"), {"PRECISION=32"});
         OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbPoint);
         EXPECT_EQ(WritePoint(*layer, 1), OGRERR_NONE);
         EXPECT_EQ(layer->GetFeatureCount(), 1);
         return dataset;
       },
       {false, true, false, false}},
      {"read-only", [](const TempDir& dir) { return OpenVector(MakePointSet(dir, "set.gaf", 64)); },
       {false, false, false, false}},
      {"update of a 64-bit set", [update](const TempDir& dir) { return update(MakePointSet(dir, "set.gaf", 64)); },
       {false, true, true, false}},
      {"update of a 32-bit set", [update](const TempDir& dir) { return update(MakePointSet(dir, "set.gaf", 32)); },
       {false, true, false, false}},
  };
}

TEST(GdalWriteTest, EveryOpenModeClaimsExactlyTheCapabilitiesThatWork) {
  GDALDriver* driver = GafDriver();
  EXPECT_STREQ(driver->GetMetadataItem(GDAL_DMD_CREATIONFIELDDATATYPES), "String");
  for (const char* capability : {GDAL_DCAP_CREATE_LAYER, GDAL_DCAP_DELETE_LAYER, GDAL_DCAP_CREATE_FIELD}) {
    EXPECT_STREQ(driver->GetMetadataItem(capability), "YES") << capability;
  }
  for (const char* capability : {GDAL_DCAP_DELETE_FIELD, GDAL_DCAP_REORDER_FIELDS, GDAL_DMD_ALTER_FIELD_DEFN_FLAGS,
                                 GDAL_DCAP_MULTIPLE_VECTOR_LAYERS, GDAL_DCAP_Z_GEOMETRIES,
                                 GDAL_DCAP_MEASURED_GEOMETRIES, GDAL_DCAP_CURVE_GEOMETRIES}) {
    EXPECT_EQ(driver->GetMetadataItem(capability), nullptr) << capability;
  }
  for (const OpenModeCase& c : OpenModeCases()) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    GDALDatasetUniquePtr dataset = c.open(dir);
    ASSERT_TRUE(dataset);
    ExpectClaimsHold(*dataset, c.claims);
  }
}

TEST(GdalWriteTest, A32BitSetOpenedForUpdateRefusesWritingBeforeTouchingAFile) {
  TempDir dir;
  const std::string gaf = MakePointSet(dir, "set.gaf", 32);
  const Bytes before = ReadFileBytes(gaf);
  CapturedMessages messages;
  {
    GDALDatasetUniquePtr dataset = OpenVector(gaf, GDAL_OF_UPDATE);
    ASSERT_TRUE(dataset);
    EXPECT_EQ(WritePoint(*dataset->GetLayer(0), 2), OGRERR_FAILURE);
    EXPECT_TRUE(messages.Contains(CE_Failure, {gaf, "only a 64-bit set can be appended to", "32-bit"}))
        << messages.All();
    EXPECT_FALSE(messages.Contains(CE_Failure, {"cannot open"})) << messages.All();
  }
  EXPECT_EQ(ReadFileBytes(gaf), before);
}

struct CreateFieldCase {
  std::vector<std::string> layerOptions;
  const char* field;
  OGRFieldType type;
  bool approxOK;
  const char* added;  // the field the layer shows, or null: refused
  const char* message = "";
  CPLErr level = CE_Warning;  // of the refusal
};

TEST(GdalWriteTest, CreateFieldTakesTheSourcesOfTheThreeTextsUnderTheirOwnNamesAndRefusesTheRest) {
  const std::vector<CreateFieldCase> cases = {
      {{}, "NAME", OFTString, true, "name"},
      {{}, "Key", OFTInteger, true, "key"},
      {{}, "url", OFTString, false, "url"},
      {{}, "key", OFTInteger, false, nullptr, "as a string", CE_Failure},
      {{}, "population", OFTString, true, nullptr, "field population is not stored"},
      {{"KEY_FIELD=id"}, "ID", OFTInteger64, true, "key"},
      {{"KEY_FIELD=id"}, "key", OFTString, true, nullptr, "fed by the fields name, id and url"},
      {{"URL_FIELD=", "NAME_FIELD=title"}, "url", OFTString, true, "url"},
      {{"URL_FIELD=", "NAME_FIELD=title"}, "Title", OFTString, true, "name"},
  };
  for (const CreateFieldCase& c : cases) {
    SCOPED_TRACE(c.field);
    TempDir dir;
    const std::string gaf = dir.File("set.gaf");
    CapturedMessages messages;
    {
      GDALDatasetUniquePtr dataset = CreateSet(gaf);
      CPLStringList options;
      for (const std::string& option : c.layerOptions) options.AddString(option.c_str());
      OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbPoint, options.List());
      ASSERT_NE(layer, nullptr);
      OGRFieldDefn definition(c.field, c.type);
      const OGRErr result = layer->CreateField(&definition, c.approxOK);
      OGRFeatureDefn* defn = layer->GetLayerDefn();
      if (c.added == nullptr) {
        EXPECT_EQ(result, OGRERR_FAILURE);
        EXPECT_EQ(defn->GetFieldCount(), 0);
        EXPECT_TRUE(messages.Contains(c.level, {gaf, c.message})) << messages.All();
        continue;
      }
      EXPECT_EQ(result, OGRERR_NONE);
      ASSERT_EQ(defn->GetFieldCount(), 1);
      EXPECT_STREQ(defn->GetFieldDefn(0)->GetNameRef(), c.added);
      EXPECT_EQ(defn->GetFieldDefn(0)->GetType(), OFTString);
      // The same source again adds nothing: the field is there.
      EXPECT_EQ(layer->CreateField(&definition, c.approxOK), OGRERR_NONE);
      EXPECT_EQ(defn->GetFieldCount(), 1);
      OGRFeature feature(defn);
      feature.SetField(0, "text");
      feature.SetGeometry(FromWkt("POINT (1 2)").get());
      ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    OGRFeatureUniquePtr back(OpenVector(gaf)->GetLayer(0)->GetNextFeature());
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->GetFieldAsString(c.added), "text");
  }
}

// ogr2ogr maps a source field to a field CreateField added only when the
// layer's field count grew: the key field, added under its own name, takes
// the source field `id`, and a reopened set shows name, key and url.
TEST(GdalWriteTest, Ogr2ogrFeedsTheKeyFromTheFieldNamedByKeyField) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  CapturedMessages messages;
  ASSERT_TRUE(Translate(gaf, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"}));
  EXPECT_FALSE(messages.Contains(CE_Warning, {"claimed to have added"})) << messages.All();
  EXPECT_EQ(messages.Count(CE_Failure), 0u) << messages.All();
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  ASSERT_EQ(defn->GetFieldCount(), 3);
  EXPECT_STREQ(defn->GetFieldDefn(0)->GetNameRef(), "name");
  EXPECT_STREQ(defn->GetFieldDefn(1)->GetNameRef(), "key");
  EXPECT_STREQ(defn->GetFieldDefn(2)->GetNameRef(), "url");
  layer->SetAttributeFilter("key = '250'");
  OGRFeatureUniquePtr france(layer->GetNextFeature());
  ASSERT_TRUE(france);
  EXPECT_STREQ(france->GetFieldAsString("name"), "France");
}

struct DeclaredTypeCase {
  OGRwkbGeometryType declared;
  OGRwkbGeometryType reported;  // while the layer is written
  std::vector<const char*> written;
  OGRwkbGeometryType reopened;
  const char* refused;  // a geometry of another kind, or null
};

TEST(GdalWriteTest, ADeclaredGeometryTypeSurvivesReopeningAndFeaturesOfOtherKindsAreRefused) {
  const char* line = "LINESTRING (0 0,1 1)";
  const char* polygon = "POLYGON ((0 0,1 0,1 1,0 0))";
  const std::vector<DeclaredTypeCase> cases = {
      {wkbPoint, wkbPoint, {"POINT (1 2)", "MULTIPOINT (1 2,3 4)"}, wkbPoint, line},
      {wkbMultiPoint, wkbPoint, {"MULTIPOINT (1 2,3 4)"}, wkbPoint, polygon},
      {wkbPoint25D, wkbPoint, {"POINT Z (1 2 3)"}, wkbPoint, line},
      {wkbLineString, wkbLineString, {line}, wkbLineString, polygon},
      {wkbMultiLineString, wkbLineString, {"MULTILINESTRING ((0 0,1 1),(2 2,3 3))"}, wkbLineString, "POINT (1 2)"},
      {wkbCompoundCurve, wkbLineString, {"CIRCULARSTRING (0 0,1 1,2 0)"}, wkbLineString, "MULTIPOINT (1 2)"},
      {wkbPolygon, wkbPolygon, {polygon, "POLYGON ((0 0,9 0,9 9,0 0),(1 1,2 1,2 2,1 1))"}, wkbPolygon,
       "MULTIPOINT (0 0)"},
      {wkbMultiPolygon, wkbPolygon, {"MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))"}, wkbPolygon, line},
      {wkbMultiSurface, wkbPolygon, {polygon, "MULTISURFACE (((0 0,1 0,1 1,0 0)))"}, wkbPolygon, "POINT (1 2)"},
      {wkbMultiCurve, wkbLineString, {"MULTICURVE ((0 0,1 1),CIRCULARSTRING (0 0,1 1,2 0))"}, wkbLineString,
       polygon},
      {wkbMultiPolygon25D, wkbPolygon, {"POLYGON Z ((0 0 1,1 0 1,1 1 1,0 0 1))"}, wkbPolygon, line},
      {wkbUnknown, wkbUnknown, {line}, wkbLineString, nullptr},
      {wkbUnknown, wkbUnknown, {line, "POINT (1 2)"}, wkbUnknown, nullptr},
  };
  for (const DeclaredTypeCase& c : cases) {
    SCOPED_TRACE(OGRGeometryTypeToName(c.declared));
    TempDir dir;
    const std::string gaf = dir.File("set.gaf");
    CapturedMessages messages;
    {
      GDALDatasetUniquePtr dataset = CreateSet(gaf);
      OGRLayer* layer = dataset->CreateLayer("set", nullptr, c.declared);
      ASSERT_NE(layer, nullptr);
      EXPECT_EQ(layer->GetGeomType(), c.reported);
      for (const char* wkt : c.written) EXPECT_EQ(WriteWkt(*layer, wkt), OGRERR_NONE) << wkt;
      if (c.refused != nullptr) {
        EXPECT_EQ(WriteWkt(*layer, c.refused), OGRERR_FAILURE);
        EXPECT_TRUE(messages.Contains(CE_Failure, {"not written", "does not belong in a",
                                                   OGRGeometryTypeToName(c.reported)}))
            << messages.All();
      }
      EXPECT_EQ(layer->GetGeomType(), c.reported);
    }
    GDALDatasetUniquePtr reopened = OpenVector(gaf, GDAL_OF_UPDATE);
    ASSERT_TRUE(reopened);
    OGRLayer* layer = reopened->GetLayer(0);
    EXPECT_EQ(layer->GetGeomType(), c.reopened);
    // The reopened layer keeps its type too.
    if (c.refused != nullptr) {
      EXPECT_EQ(WriteWkt(*layer, c.refused), OGRERR_FAILURE);
    }
  }
}

struct RefusedLayerCase {
  OGRwkbGeometryType type;
  std::vector<std::string> options;
  std::vector<std::string> message;
};

TEST(GdalWriteTest, CreateLayerRefusesTypesNoRecordHoldsAndTextsThatShareAField) {
  const char* type = "cannot hold a layer of geometry type";
  const std::vector<RefusedLayerCase> cases = {
      {wkbNone, {}, {type, "None"}},
      {wkbGeometryCollection, {}, {type, "Geometry Collection"}},
      {wkbTIN, {}, {type, "TIN"}},
      {wkbPolyhedralSurface, {}, {type, "PolyhedralSurface"}},
      {wkbPoint, {"NAME_FIELD=id", "KEY_FIELD=ID"}, {"NAME_FIELD (id)", "KEY_FIELD (ID)", "three different fields"}},
      {wkbPoint, {"URL_FIELD=name"}, {"URL_FIELD (name)", "three different fields"}},
  };
  TempDir dir;
  for (const RefusedLayerCase& c : cases) {
    SCOPED_TRACE(c.message.back());
    CapturedMessages messages;
    GDALDatasetUniquePtr dataset = CreateSet(dir.File("set.gaf"));
    CPLStringList options;
    for (const std::string& option : c.options) options.AddString(option.c_str());
    EXPECT_EQ(dataset->CreateLayer("set", nullptr, c.type, options.List()), nullptr);
    EXPECT_TRUE(messages.Contains(CE_Failure, c.message)) << messages.All();
    EXPECT_TRUE(dataset->TestCapability(ODsCCreateLayer));
  }
}

// ogr2ogr stops at the first refused feature, and with -skipfailures skips
// each one and writes the rest.
TEST(GdalWriteTest, Ogr2ogrSkipsRefusedFeaturesOnlyWhenAskedTo) {
  RegisterDrivers();
  TempDir dir;
  const std::string source = dir.File("source.geojson");
  const std::string text =
      R"({"type": "FeatureCollection", "features": [)"
      R"({"type": "Feature", "properties": {"key": "a"}, "geometry": {"type": "Point", "coordinates": [1, 2]}},)"
      R"({"type": "Feature", "properties": {"key": "b"}, "geometry": null},)"
      R"({"type": "Feature", "properties": {"key": "c"}, "geometry": {"type": "Point", "coordinates": [3, 4]}}]})";
  WriteFileBytes(source, Bytes(text.begin(), text.end()));
  CapturedMessages messages;
  EXPECT_FALSE(Translate(dir.File("stopped.gaf"), source, {"-f", "Gaf"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"stopped.gaf: feature #2 not written: the geometry is empty"}))
      << messages.All();
  messages.Clear();
  ASSERT_TRUE(Translate(dir.File("skipped.gaf"), source, {"-f", "Gaf", "-skipfailures"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"skipped.gaf: feature #2 not written"})) << messages.All();
  GDALDatasetUniquePtr dataset = OpenVector(dir.File("skipped.gaf"));
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 2);
}

TEST(GdalWriteTest, RecordsLongerThanFixedReadBuffersAreCountedInOneWarningPerLayer) {
  const int capacity = static_cast<int>(gaf::kReadCapacity);
  TempDir dir;
  CapturedMessages messages;
  {
    GDALDatasetUniquePtr dataset = CreateSet(dir.File("long.gaf"));
    OGRLayer* layer = dataset->CreateLayer("long", nullptr, wkbUnknown);
    auto write = [layer](std::unique_ptr<OGRGeometry> geometry) {
      OGRFeature feature(layer->GetLayerDefn());
      feature.SetGeometryDirectly(geometry.release());
      EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    };
    write(LineOf(capacity + 1, 0));
    write(LineOf(capacity, 0));  // fits
    auto lines = std::make_unique<OGRMultiLineString>();
    lines->addGeometryDirectly(LineOf(capacity + 1, 0).release());
    lines->addGeometryDirectly(LineOf(capacity + 2, 0).release());
    write(std::move(lines));  // two records
    write(RingOf(capacity + 1));
    EXPECT_EQ(messages.Count(CE_Warning), 0u) << messages.All();
  }
  EXPECT_TRUE(messages.Contains(
      CE_Warning, {"long.gaf: 4 records have more than 16,384 vertices; Gaf readers with fixed buffers stop there"}))
      << messages.All();
  EXPECT_EQ(messages.Count(CE_Warning), 1u) << messages.All();

  messages.Clear();
  {
    GDALDatasetUniquePtr dataset = CreateSet(dir.File("one.gaf"));
    OGRLayer* layer = dataset->CreateLayer("one", nullptr, wkbLineString);
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetGeometryDirectly(LineOf(capacity + 1, 0).release());
    EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
  }
  EXPECT_TRUE(messages.Contains(CE_Warning, {"one.gaf: 1 record has more than 16,384 vertices"})) << messages.All();
}

}  // namespace
}  // namespace kro::test
