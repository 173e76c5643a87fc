// A Gaf file set as a GDAL dataset of one layer. Opened from the data file's
// name (the ".sif" and ".kif" beside it follow), or created by the driver's
// Create with dataset creation options PRECISION, KEY_INDEX and DESCRIPTION;
// the layer of a created set comes from one CreateLayer.
#ifndef KRO_GDAL_OGRGAFDATASET_H
#define KRO_GDAL_OGRGAFDATASET_H

#include <memory>
#include <string>

#include "gdal_priv.h"

namespace kro {

class CGafWriter;
class OGRGafLayer;

class OGRGafDataset final : public GDALDataset {
 public:
  ~OGRGafDataset() override;

  static int Identify(GDALOpenInfo* openInfo);
  static GDALDataset* Open(GDALOpenInfo* openInfo);
  static GDALDataset* Create(const char* name, int xSize, int ySize, int bands, GDALDataType type, char** options);

  int GetLayerCount() override;
  OGRLayer* GetLayer(int index) override;
  int TestCapability(const char* capability) override;
  char** GetFileList() override;
  // In update mode: empties the set (created anew with the default options),
  // so that CreateLayer can give it its layer again; what ogr2ogr -overwrite
  // does.
  OGRErr DeleteLayer(int index) override;

 protected:
  OGRLayer* ICreateLayer(const char* name, OGRSpatialReference* srs, OGRwkbGeometryType geometryType,
                         char** options) override;

 private:
  explicit OGRGafDataset(const std::string& fileName);
  // Creates the set `fileName_` anew; false after a CPLError.
  bool StartNewSet(bool keyIndex, int precision, const char* description);

  std::string fileName_;
  std::unique_ptr<OGRGafLayer> layer_;
  // A created set before its layer exists.
  std::unique_ptr<CGafWriter> pendingWriter_;
};

}  // namespace kro

#endif
