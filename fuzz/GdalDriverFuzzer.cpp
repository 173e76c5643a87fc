// The GDAL driver on arbitrary bytes, as GDAL's own fuzzers treat formats of
// several files: the input is split into a data file, a spatial index and a
// key index (an empty third part means no key index), the three are put into
// /vsimem/ and opened through the driver, and the one layer is read with
// every kind of filter: none, a box, a key, an attribute filter on the name,
// an OGR SQL statement, and features fetched by FID. Some inputs are opened
// for update as well and given one more feature, which goes through the
// journal on /vsimem/ and must either land or leave the set readable as it
// was. Every pass is bounded,
// so a damaged index that leads to the same record again cannot hang it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "GafDriver.h"
#include "cpl_error.h"
#include "cpl_vsi.h"
#include "gdal_priv.h"
#include "ogrsf_frmts.h"

namespace {

const char* const kOpenOptionValues[] = {"DEFAULT", "CONTAINMENT", "SKIP"};

// Puts `slice` at `path` in memory; the bytes are copied, so the input may go.
void PutFile(const std::string& path, const kro::fuzz::Slice& slice) {
  VSILFILE* file = VSIFOpenL(path.c_str(), "wb");
  if (file == nullptr) return;
  if (slice.size > 0) VSIFWriteL(slice.data, 1, slice.size, file);
  VSIFCloseL(file);
}

// Reads what the layer yields under its current filters, at most `limit`
// features; keeps the first keys and FIDs met for the later passes.
void RunPass(OGRLayer& layer, size_t limit, std::vector<std::string>* keys, std::vector<GIntBig>* fids) {
  layer.ResetReading();
  for (size_t n = 0; n < limit; ++n) {
    OGRFeatureUniquePtr feature(layer.GetNextFeature());
    if (feature == nullptr) return;
    if (keys != nullptr && keys->size() < 4 && feature->GetFieldIndex("key") >= 0) {
      keys->emplace_back(feature->GetFieldAsString("key"));
    }
    if (fids != nullptr && fids->size() < 4) fids->push_back(feature->GetFID());
    if (const OGRGeometry* geometry = feature->GetGeometryRef()) geometry->IsEmpty();
  }
}

// A text as an OGR SQL string literal.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += c;
  }
  return quoted + "'";
}

void ReadLayer(GDALDataset& dataset, OGRLayer& layer, size_t limit) {
  layer.GetFeatureCount(TRUE);
  OGREnvelope extent;
  const bool hasExtent = layer.GetExtent(&extent, TRUE) == OGRERR_NONE;
  std::vector<std::string> keys;
  std::vector<GIntBig> fids;
  RunPass(layer, limit, &keys, &fids);
  if (hasExtent) {
    const double midX = extent.MinX / 2 + extent.MaxX / 2;
    const double midY = extent.MinY / 2 + extent.MaxY / 2;
    layer.SetSpatialFilterRect(extent.MinX, extent.MinY, midX, midY);
    RunPass(layer, limit, nullptr, nullptr);
    layer.SetSpatialFilterRect(midX, midY, midX, midY);
    RunPass(layer, limit, nullptr, nullptr);
    layer.SetSpatialFilter(nullptr);
  }
  keys.emplace_back("");
  for (const std::string& key : keys) {
    if (layer.SetAttributeFilter(("key = " + Quoted(key)).c_str()) == OGRERR_NONE) RunPass(layer, limit, nullptr, nullptr);
  }
  if (layer.SetAttributeFilter("name LIKE 'a%' OR key IN ('1', '2')") == OGRERR_NONE) {
    RunPass(layer, limit, nullptr, nullptr);
  }
  layer.SetAttributeFilter(nullptr);
  for (GIntBig fid : fids) OGRFeatureUniquePtr(layer.GetFeature(fid));
  OGRFeatureUniquePtr(layer.GetFeature(1));
  const std::string sql = std::string("SELECT name, key FROM \"") + layer.GetName() + "\" WHERE key <> '' ORDER BY name";
  if (OGRLayer* result = dataset.ExecuteSQL(sql.c_str(), nullptr, nullptr)) {
    RunPass(*result, limit, nullptr, nullptr);
    dataset.ReleaseResultSet(result);
  }
}

// Appends one polygon with a hole and its texts, then reads the set again.
void AppendOne(const std::string& gaf, size_t limit) {
  const char* const drivers[] = {"Gaf", nullptr};
  GDALDatasetUniquePtr dataset(GDALDataset::Open(gaf.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, nullptr));
  if (dataset == nullptr || dataset->GetLayerCount() != 1) return;
  OGRLayer& layer = *dataset->GetLayer(0);
  OGRFeature feature(layer.GetLayerDefn());
  OGRGeometry* geometry = nullptr;
  OGRGeometryFactory::createFromWkt("POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 2 2))", nullptr,
                                    &geometry);
  feature.SetGeometryDirectly(geometry);
  if (feature.GetFieldIndex("key") >= 0) feature.SetField("key", "appended");
  if (layer.CreateFeature(&feature) != OGRERR_NONE) return;
  RunPass(layer, limit, nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  CPLSetErrorHandler(CPLQuietErrorHandler);
  RegisterOGRGaf();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<kro::fuzz::Slice> parts = kro::fuzz::SplitInput(data, size, 3);
  const std::string gaf = "/vsimem/fuzz/set.gaf";
  const std::string sif = "/vsimem/fuzz/set.sif";
  const std::string kif = "/vsimem/fuzz/set.kif";
  PutFile(gaf, parts[0]);
  PutFile(sif, parts[1]);
  if (parts[2].size > 0) PutFile(kif, parts[2]);
  // The input's length picks the way rings become polygons, so that every
  // way meets every kind of record.
  const std::string option = std::string("ORGANIZE_POLYGONS=") + kOpenOptionValues[size % 3];
  const char* const openOptions[] = {option.c_str(), nullptr};
  const char* const drivers[] = {"Gaf", nullptr};
  GDALDatasetUniquePtr dataset(GDALDataset::Open(gaf.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, openOptions));
  if (dataset != nullptr && dataset->GetLayerCount() == 1) {
    // No pass can deliver more features than the files have bytes for, but a
    // damaged index may lead to the same record many times.
    ReadLayer(*dataset, *dataset->GetLayer(0), 4 * size + 64);
  }
  dataset.reset();
  if (size % 5 == 0) AppendOne(gaf, 4 * size + 64);
  VSIRmdirRecursive("/vsimem/fuzz");
  CPLErrorReset();
  return 0;
}
