// FlatGeobuf and GeoPackage through GDAL's vector API: one layer of line
// strings with a name and a key field and the driver's spatial index.
#include <ogr_api.h>
#include <ogr_srs_api.h>
#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Row.h"

namespace peers {
namespace {

class GdalRow final : public Row {
 public:
  GdalRow(const char* driver, const char* extension, const char* name)
      : driver_(driver), extension_(extension), name_(name) {
    GDALAllRegister();
  }
  const char* Name() const override { return name_; }
  // FlatGeobuf keeps no attribute index.
  bool HasKeyIndex() const override { return std::strcmp(driver_, "GPKG") == 0; }

  bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) override {
    GDALDriverH driver = GDALGetDriverByName(driver_);
    if (driver == nullptr) return false;
    const std::string path = stem + extension_;
    // A driver may refuse to create over the file of an earlier repetition.
    std::remove(path.c_str());
    GDALDatasetH dataset = GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (dataset == nullptr) return false;
    char** options = CSLSetNameValue(nullptr, "SPATIAL_INDEX", "YES");
    OGRLayerH layer = GDALDatasetCreateLayer(dataset, "objects", nullptr, wkbLineString, options);
    CSLDestroy(options);
    bool ok = layer != nullptr;
    for (const char* field : {"name", "key"}) {
      OGRFieldDefnH definition = OGR_Fld_Create(field, OFTString);
      ok = ok && OGR_L_CreateField(layer, definition, TRUE) == OGRERR_NONE;
      OGR_Fld_Destroy(definition);
    }
    // FlatGeobuf writes without transactions; GeoPackage writes in one.
    const bool transaction = ok && GDALDatasetStartTransaction(dataset, FALSE) == OGRERR_NONE;
    OGRFeatureDefnH definition = ok ? OGR_L_GetLayerDefn(layer) : nullptr;
    Object object;
    for (uint64_t i = 0; ok && i < count; ++i) {
      MakeObject(i, object);
      OGRFeatureH feature = OGR_F_Create(definition);
      OGR_F_SetFieldString(feature, 0, object.name);
      OGR_F_SetFieldString(feature, 1, object.key);
      OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
      OGR_G_SetPointCount(line, kVertices);
      for (int v = 0; v < kVertices; ++v) OGR_G_SetPoint_2D(line, v, object.x[v], object.y[v]);
      OGR_F_SetGeometryDirectly(feature, line);
      ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
      OGR_F_Destroy(feature);
    }
    if (ok && transaction) ok = GDALDatasetCommitTransaction(dataset) == OGRERR_NONE;
    if (ok && withKeyIndex) {
      OGRLayerH result = GDALDatasetExecuteSQL(dataset, "CREATE INDEX objects_key ON objects(key)", nullptr, nullptr);
      if (result != nullptr) GDALDatasetReleaseResultSet(dataset, result);
    }
    GDALClose(dataset);
    return ok;
  }

  bool QueryIndex(const std::string& stem, uint64_t& hits) override {
    return Each(stem, true, [&](OGRFeatureH) { ++hits; });
  }
  bool Query(const std::string& stem, Tally& tally) override {
    return Each(stem, false, [&](OGRFeatureH feature) { Read(feature, tally); });
  }
  bool Scan(const std::string& stem, Tally& tally) override {
    GDALDatasetH dataset = GDALOpenEx((stem + extension_).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    if (dataset == nullptr) return false;
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    OGR_L_ResetReading(layer);
    while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
      Read(feature, tally);
      OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    return true;
  }

 private:
  static void Read(OGRFeatureH feature, Tally& tally) {
    OGRGeometryH line = OGR_F_GetGeometryRef(feature);
    double xs[kVertices], ys[kVertices];
    int count = line == nullptr ? 0 : OGR_G_GetPointCount(line);
    if (count > kVertices) count = kVertices;
    for (int v = 0; v < count; ++v) {
      xs[v] = OGR_G_GetX(line, v);
      ys[v] = OGR_G_GetY(line, v);
    }
    tally.Add(xs, ys, count, std::strlen(OGR_F_GetFieldAsString(feature, 0)),
              std::strlen(OGR_F_GetFieldAsString(feature, 1)));
  }

  // Runs every query through the layer's spatial filter. Index only: the
  // geometry and the fields are not read, only the feature ids come back.
  template <class Visit>
  bool Each(const std::string& stem, bool indexOnly, Visit visit) {
    GDALDatasetH dataset = GDALOpenEx((stem + extension_).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    if (dataset == nullptr) return false;
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    if (indexOnly) {
      const char* ignored[] = {"name", "key", "OGR_GEOMETRY", nullptr};
      OGR_L_SetIgnoredFields(layer, ignored);
    }
    for (int q = 0; q < kQueries; ++q) {
      const Box box = MakeQuery(q);
      OGR_L_SetSpatialFilterRect(layer, box.xMin, box.yMin, box.xMax, box.yMax);
      OGR_L_ResetReading(layer);
      while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
        visit(feature);
        OGR_F_Destroy(feature);
      }
    }
    GDALClose(dataset);
    return true;
  }

  const char* driver_;
  const char* extension_;
  const char* name_;
};

}  // namespace

std::unique_ptr<Row> MakeGdalRow(const char* driver, const char* extension, const char* name) {
  return std::make_unique<GdalRow>(driver, extension, name);
}

}  // namespace peers
