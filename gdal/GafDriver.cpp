#include "GafDriver.h"

#include "OGRGafDataset.h"
#include "gdal_priv.h"

namespace {

constexpr const char* kCreationOptions =
    "<CreationOptionList>"
    "  <Option name='PRECISION' type='string-select' default='64'"
    "          description='Bits of each stored coordinate; only a 64-bit set can be appended to'>"
    "    <Value>32</Value><Value>64</Value>"
    "  </Option>"
    "  <Option name='KEY_INDEX' type='boolean' default='YES'"
    "          description='Keep a key index (.kif) for filters on the key'/>"
    "  <Option name='DESCRIPTION' type='string' description='Description stored in the header'/>"
    "  <Option name='SPATIAL_ORDER' type='string-select' default='NONE'"
    "          description='HILBERT stores the features in map order (Hilbert order of their boxes), written "
    "at close with both indexes packed, for faster box queries; NONE stores them as they come'>"
    "    <Value>NONE</Value><Value>HILBERT</Value>"
    "  </Option>"
    "</CreationOptionList>";

constexpr const char* kLayerCreationOptions =
    "<LayerCreationOptionList>"
    "  <Option name='NAME_FIELD' type='string' default='name' description='Field that feeds each record name'/>"
    "  <Option name='KEY_FIELD' type='string' default='key' description='Field that feeds each record key'/>"
    "  <Option name='URL_FIELD' type='string' default='url' description='Field that feeds each record URL'/>"
    "</LayerCreationOptionList>";

constexpr const char* kOpenOptions =
    "<OpenOptionList>"
    "  <Option name='ORGANIZE_POLYGONS' type='string-select' default='DEFAULT'"
    "          description='How the rings of a multi-polygon record become polygons: by the roles that "
    "sets written by this driver store in the orientation of the rings, else by containment (DEFAULT); by "
    "containment always (CONTAINMENT); every ring a polygon of its own (SKIP)'>"
    "    <Value>DEFAULT</Value><Value>CONTAINMENT</Value><Value>SKIP</Value>"
    "  </Option>"
    "</OpenOptionList>";

}  // namespace

extern "C" void RegisterOGRGaf() {
  if (GDALGetDriverByName("Gaf") != nullptr) return;
  auto* driver = new GDALDriver();
  driver->SetDescription("Gaf");
  driver->SetMetadataItem(GDAL_DCAP_VECTOR, "YES");
  driver->SetMetadataItem(GDAL_DCAP_CREATE, "YES");
  // Sets are read from GDAL's virtual file systems and written on those that can write in place.
  driver->SetMetadataItem(GDAL_DCAP_VIRTUALIO, "YES");
  // The one layer of a set: created with a new set, or after DeleteLayer
  // emptied a set opened for update (ogr2ogr -overwrite).
  driver->SetMetadataItem(GDAL_DCAP_CREATE_LAYER, "YES");
  driver->SetMetadataItem(GDAL_DCAP_DELETE_LAYER, "YES");
  // A new layer takes the fields that feed a record's texts, all strings.
  driver->SetMetadataItem(GDAL_DCAP_CREATE_FIELD, "YES");
  driver->SetMetadataItem(GDAL_DMD_LONGNAME, "Gaf file set");
  driver->SetMetadataItem(GDAL_DMD_EXTENSION, "gaf");
  driver->SetMetadataItem(GDAL_DMD_CREATIONOPTIONLIST, kCreationOptions);
  driver->SetMetadataItem(GDAL_DS_LAYER_CREATIONOPTIONLIST, kLayerCreationOptions);
  driver->SetMetadataItem(GDAL_DMD_OPENOPTIONLIST, kOpenOptions);
  driver->SetMetadataItem(GDAL_DMD_CREATIONFIELDDATATYPES, "String");
  driver->SetMetadataItem(GDAL_DMD_SUPPORTED_SQL_DIALECTS, "OGRSQL SQLITE");
  driver->pfnIdentify = kro::OGRGafDataset::Identify;
  driver->pfnOpen = kro::OGRGafDataset::Open;
  driver->pfnCreate = kro::OGRGafDataset::Create;
  GetGDALDriverManager()->RegisterDriver(driver);
}
