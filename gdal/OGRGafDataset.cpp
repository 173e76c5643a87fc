#include "OGRGafDataset.h"

#include "GafCoordSysMetadata.h"
#include "GafFileNames.h"
#include "GafOpenFiles.h"
#include "GafLayerGeometry.h"
#include "engine/EngineStatus.h"
#include "OGRGafLayer.h"
#include "cpl_error.h"
#include "engine/datafile/GafCoordSys.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"

namespace kro {
namespace {

RingOrganisation RingOrganisationOption(char** openOptions) {
  const char* value = CSLFetchNameValueDef(openOptions, "ORGANIZE_POLYGONS", "DEFAULT");
  if (EQUAL(value, "SKIP")) return RingOrganisation::kEveryRingAPolygon;
  return EQUAL(value, "CONTAINMENT") ? RingOrganisation::kByContainment : RingOrganisation::kByRolesOrContainment;
}

// A layer creation option naming a source field; empty means the default.
std::string FieldOption(char** options, const char* option, const char* defaultName) {
  const char* value = CSLFetchNameValue(options, option);
  return value != nullptr && *value != '\0' ? value : defaultName;
}

GafFieldRoles FieldRolesOf(char** options) {
  GafFieldRoles roles;
  roles.name = FieldOption(options, "NAME_FIELD", "name");
  roles.key = FieldOption(options, "KEY_FIELD", "key");
  roles.url = FieldOption(options, "URL_FIELD", "url");
  return roles;
}

// One source field feeds one text: a field of two roles would reach the
// layer as two fields, which ogr2ogr cannot map.
bool RolesAreDistinct(const GafFieldRoles& roles) {
  return !EQUAL(roles.name.c_str(), roles.key.c_str()) && !EQUAL(roles.name.c_str(), roles.url.c_str()) &&
         !EQUAL(roles.key.c_str(), roles.url.c_str());
}

}  // namespace

OGRGafDataset::OGRGafDataset(const std::string& fileName, std::shared_ptr<GafOpenFiles> files)
    : fileName_(fileName), files_(std::move(files)) {
  SetDescription(fileName.c_str());
}

OGRGafDataset::~OGRGafDataset() {
  if (pendingWriter_ == nullptr) return;
  // A set whose layer was deleted is removed with it, as a set is its layer;
  // a created set that never had one is still finished as an empty set.
  if (layerDeleted_) {
    if (pendingWriter_->Discard() != eKroOk) {
      CPLError(CE_Failure, CPLE_FileIO, "%s: the file set of the deleted layer could not be removed: %s",
               fileName_.c_str(), pendingWriter_->LastError().Describe().c_str());
    }
  } else if (pendingWriter_->Finish() != eKroOk) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: the empty file set could not be finished: %s", fileName_.c_str(),
             pendingWriter_->LastError().Describe().c_str());
  }
}

int OGRGafDataset::Identify(GDALOpenInfo* openInfo) {
  // A damaged data file is still ours, so that opening it says what is wrong.
  return HasGafExtension(openInfo->pszFilename) && openInfo->fpL != nullptr;
}

GDALDataset* OGRGafDataset::Open(GDALOpenInfo* openInfo) {
  if ((openInfo->nOpenFlags & GDAL_OF_VECTOR) == 0 || !Identify(openInfo)) return nullptr;
  if (!IsUsableSetName(openInfo->pszFilename, openInfo->eAccess == GA_Update)) return nullptr;
  std::shared_ptr<GafOpenFiles> files = GafOpenFiles::Make();
  if (files == nullptr) return nullptr;
  std::unique_ptr<CGafReader> reader = OGRGafLayer::OpenReader(openInfo->pszFilename, files->Environment());
  if (reader == nullptr) return nullptr;
  auto dataset = std::unique_ptr<OGRGafDataset>(new OGRGafDataset(openInfo->pszFilename, std::move(files)));
  dataset->eAccess = openInfo->eAccess;
  dataset->layer_ = std::make_unique<OGRGafLayer>(openInfo->pszFilename, std::move(reader),
                                                  openInfo->eAccess == GA_Update,
                                                  RingOrganisationOption(openInfo->papszOpenOptions));
  return dataset.release();
}

GDALDataset* OGRGafDataset::Create(const char* name, int /*xSize*/, int /*ySize*/, int bands, GDALDataType /*type*/,
                                   char** options) {
  if (bands != 0) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: a Gaf file set holds vector data only", name);
    return nullptr;
  }
  if (!HasGafExtension(name)) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: the data file of a Gaf file set needs the extension .gaf", name);
    return nullptr;
  }
  if (!IsUsableSetName(name, true)) return nullptr;
  NewSetOptions newSet;
  newSet.keyIndex = CPLFetchBool(options, "KEY_INDEX", true);
  newSet.precision = atoi(CSLFetchNameValueDef(options, "PRECISION", "64"));
  if (const char* description = CSLFetchNameValue(options, "DESCRIPTION")) newSet.description = description;
  if (newSet.precision != 32 && newSet.precision != 64) {
    CPLError(CE_Failure, CPLE_IllegalArg, "%s: PRECISION must be 32 or 64", name);
    return nullptr;
  }
  const char* order = CSLFetchNameValueDef(options, "SPATIAL_ORDER", "NONE");
  newSet.hilbertOrder = EQUAL(order, "HILBERT");
  if (!newSet.hilbertOrder && !EQUAL(order, "NONE")) {
    CPLError(CE_Failure, CPLE_IllegalArg, "%s: SPATIAL_ORDER must be NONE or HILBERT", name);
    return nullptr;
  }
  std::shared_ptr<GafOpenFiles> files = GafOpenFiles::Make();
  if (files == nullptr) return nullptr;
  auto dataset = std::unique_ptr<OGRGafDataset>(new OGRGafDataset(name, std::move(files)));
  dataset->eAccess = GA_Update;
  dataset->newSet_ = newSet;
  if (!dataset->StartNewSet()) return nullptr;
  return dataset.release();
}

bool OGRGafDataset::StartNewSet() {
  const char* name = fileName_.c_str();
  const bool keyIndex = newSet_.keyIndex;
  // A key index left from an earlier set of the same name would be reopened.
  if (!keyIndex) VSIUnlink(CompanionName(name, "kif").c_str());
  auto writer = std::make_unique<CGafWriter>(files_->Environment());
  if (newSet_.hilbertOrder) writer->SetSpatialOrder(GafSpatialOrder::kHilbert);
  if (writer->Open(name, kGafCreateNew, keyIndex ? -1 : 0) != eKroOk) {
    CPLError(CE_Failure, CPLE_OpenFailed, "%s: cannot create the Gaf file set: %s", name,
             writer->LastError().Describe().c_str());
    return false;
  }
  writer->SetPrecision(static_cast<SHORT>(newSet_.precision));
  writer->SetRingRolesByOrientation();
  if (newSet_.description && writer->SetDescription(newSet_.description->c_str()) != eKroOk) {
    CPLError(CE_Warning, CPLE_IllegalArg, "%s: the description is longer than 65535 bytes and is not stored", name);
  }
  pendingWriter_ = std::move(writer);
  return true;
}

OGRErr OGRGafDataset::DeleteLayer(int index) {
  if (eAccess != GA_Update) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: the file set is open read-only", fileName_.c_str());
    return OGRERR_FAILURE;
  }
  if (index != 0 || layer_ == nullptr) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: no layer %d to delete", fileName_.c_str(), index);
    return OGRERR_FAILURE;
  }
  layer_.reset();
  layerDeleted_ = true;
  return StartNewSet() ? OGRERR_NONE : OGRERR_FAILURE;
}

OGRLayer* OGRGafDataset::ICreateLayer(const char* /*name*/, OGRSpatialReference* srs, OGRwkbGeometryType geometryType,
                                      char** options) {
  if (pendingWriter_ == nullptr) {
    CPLError(CE_Failure, CPLE_NotSupported,
             eAccess == GA_Update ? "%s: a Gaf file set holds one layer; delete it first (ogr2ogr -overwrite)"
                                  : "%s: the file set is open read-only",
             fileName_.c_str());
    return nullptr;
  }
  const std::optional<OGRwkbGeometryType> layerType = LayerTypeDeclaredAs(geometryType);
  if (!layerType) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "%s: a Gaf file set holds points, lines and polygons; it cannot hold a layer of geometry type %s",
             fileName_.c_str(), OGRGeometryTypeToName(geometryType));
    return nullptr;
  }
  const GafFieldRoles roles = FieldRolesOf(options);
  if (!RolesAreDistinct(roles)) {
    CPLError(CE_Failure, CPLE_IllegalArg, "%s: NAME_FIELD (%s), KEY_FIELD (%s) and URL_FIELD (%s) must name three "
             "different fields", fileName_.c_str(), roles.name.c_str(), roles.key.c_str(), roles.url.c_str());
    return nullptr;
  }
  if (srs != nullptr) {
    const GafCoordSys record = CoordSysOf(*srs);
    pendingWriter_->SetCoordSys(&record);
    if (record.code[0] == '\0') {
      CPLError(CE_Warning, CPLE_AppDefined,
               "%s: the coordinate system has no EPSG code; it is stored by its name and parameters, and a "
               "reader of the set gets them as metadata, not as a coordinate system",
               fileName_.c_str());
    }
  }
  layerDeleted_ = false;
  layer_ = std::make_unique<OGRGafLayer>(fileName_, std::move(pendingWriter_), srs, *layerType, roles,
                                         static_cast<uint32_t>(newSet_.precision));
  return layer_.get();
}

int OGRGafDataset::GetLayerCount() { return layer_ != nullptr ? 1 : 0; }

OGRLayer* OGRGafDataset::GetLayer(int index) { return index == 0 ? layer_.get() : nullptr; }

int OGRGafDataset::TestCapability(const char* capability) {
  if (EQUAL(capability, ODsCCreateLayer)) return pendingWriter_ != nullptr;
  if (EQUAL(capability, ODsCDeleteLayer)) return eAccess == GA_Update && layer_ != nullptr;
  return FALSE;
}

char** OGRGafDataset::GetFileList() {
  CPLStringList files;
  files.AddString(fileName_.c_str());
  for (const char* extension : {"sif", "kif"}) {
    const std::string companion = CompanionName(fileName_, extension);
    if (FileExists(companion)) files.AddString(companion.c_str());
  }
  return files.StealList();
}

}  // namespace kro
