// A Gaf file set as a GDAL dataset of one layer. Opened from the data file's
// name (the ".sif" and ".kif" beside it follow), or created by the driver's
// Create with dataset creation options PRECISION, KEY_INDEX and DESCRIPTION;
// the layer of a created set comes from one CreateLayer.
#ifndef KRO_GDAL_OGRGAFDATASET_H
#define KRO_GDAL_OGRGAFDATASET_H

#include <memory>
#include <optional>
#include <string>

#include "gdal_priv.h"

namespace kro {

class CGafWriter;
class GafOpenFiles;
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
  // In update mode: empties the set (created anew with the options the
  // dataset was created with, or the default options for a set opened for
  // update), so that CreateLayer can give it its layer again; what ogr2ogr
  // -overwrite does. Without a new layer the set's files are removed when
  // the dataset closes.
  OGRErr DeleteLayer(int index) override;

 protected:
  OGRLayer* ICreateLayer(const char* name, OGRSpatialReference* srs, OGRwkbGeometryType geometryType,
                         char** options) override;

 private:
  // The dataset creation options, with their defaults.
  struct NewSetOptions {
    bool keyIndex = true;
    int precision = 64;
    std::optional<std::string> description;
    bool hilbertOrder = false;
  };

  OGRGafDataset(const std::string& fileName, std::shared_ptr<GafOpenFiles> files);
  // Creates the set `fileName_` anew with `newSet_`; false after a CPLError.
  bool StartNewSet();

  std::string fileName_;
  // Declared before everything that works in it, so it goes last.
  std::shared_ptr<GafOpenFiles> files_;
  NewSetOptions newSet_;
  std::unique_ptr<OGRGafLayer> layer_;
  // A created set before its layer exists.
  std::unique_ptr<CGafWriter> pendingWriter_;
  // DeleteLayer emptied the set and no layer was created since.
  bool layerDeleted_ = false;
};

}  // namespace kro

#endif
