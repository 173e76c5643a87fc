#include "OGRGafDataset.h"

#include "GafCoordSysMetadata.h"
#include "GafFileNames.h"
#include "engine/EngineStatus.h"
#include "OGRGafLayer.h"
#include "cpl_error.h"
#include "engine/datafile/GafCoordSys.h"
#include "facade/CGafReader.h"
#include "facade/CGafWriter.h"

namespace kro {
namespace {

RingOrganisation RingOrganisationOption(char** openOptions) {
  const char* value = CSLFetchNameValueDef(openOptions, "ORGANIZE_POLYGONS", "DEFAULT");
  if (EQUAL(value, "SKIP")) return RingOrganisation::kEveryRingAPolygon;
  return EQUAL(value, "CONTAINMENT") ? RingOrganisation::kByContainment : RingOrganisation::kByRolesOrContainment;
}

}  // namespace

OGRGafDataset::OGRGafDataset(const std::string& fileName) : fileName_(fileName) { SetDescription(fileName.c_str()); }

OGRGafDataset::~OGRGafDataset() {
  // A created set without a layer is still finished as an empty set.
  if (pendingWriter_ != nullptr && pendingWriter_->Finish() != eKroOk) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: the empty file set could not be finished: %s", fileName_.c_str(),
             DescribeStatus(pendingWriter_->LastStatus()).c_str());
  }
}

int OGRGafDataset::Identify(GDALOpenInfo* openInfo) {
  // A damaged data file is still ours, so that opening it says what is wrong.
  return HasGafExtension(openInfo->pszFilename) && openInfo->fpL != nullptr;
}

GDALDataset* OGRGafDataset::Open(GDALOpenInfo* openInfo) {
  if ((openInfo->nOpenFlags & GDAL_OF_VECTOR) == 0 || !Identify(openInfo)) return nullptr;
  std::unique_ptr<CGafReader> reader = OGRGafLayer::OpenReader(openInfo->pszFilename);
  if (reader == nullptr) return nullptr;
  auto dataset = std::unique_ptr<OGRGafDataset>(new OGRGafDataset(openInfo->pszFilename));
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
  const bool keyIndex = CPLFetchBool(options, "KEY_INDEX", true);
  const int precision = atoi(CSLFetchNameValueDef(options, "PRECISION", "64"));
  const char* description = CSLFetchNameValue(options, "DESCRIPTION");
  if (precision != 32 && precision != 64) {
    CPLError(CE_Failure, CPLE_IllegalArg, "%s: PRECISION must be 32 or 64", name);
    return nullptr;
  }
  auto dataset = std::unique_ptr<OGRGafDataset>(new OGRGafDataset(name));
  dataset->eAccess = GA_Update;
  if (!dataset->StartNewSet(keyIndex, precision, description)) return nullptr;
  return dataset.release();
}

bool OGRGafDataset::StartNewSet(bool keyIndex, int precision, const char* description) {
  const char* name = fileName_.c_str();
  // A key index left from an earlier set of the same name would be reopened.
  if (!keyIndex) VSIUnlink(CompanionName(name, "kif").c_str());
  auto writer = std::make_unique<CGafWriter>();
  if (writer->Open(name, kGafCreateNew, keyIndex ? -1 : 0) != eKroOk) {
    CPLError(CE_Failure, CPLE_OpenFailed, "%s: cannot create the Gaf file set: %s", name,
             DescribeStatus(writer->LastStatus()).c_str());
    return false;
  }
  writer->SetPrecision(static_cast<SHORT>(precision));
  writer->SetRingRolesByOrientation();
  if (description != nullptr && writer->SetDescription(description) != eKroOk) {
    CPLError(CE_Warning, CPLE_IllegalArg, "%s: the description is longer than 65535 bytes and is not stored", name);
  }
  pendingWriter_ = std::move(writer);
  return true;
}

OGRErr OGRGafDataset::DeleteLayer(int index) {
  if (index != 0 || layer_ == nullptr || eAccess != GA_Update) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: no layer %d to delete", fileName_.c_str(), index);
    return OGRERR_FAILURE;
  }
  layer_.reset();
  return StartNewSet(true, 64, nullptr) ? OGRERR_NONE : OGRERR_FAILURE;
}

OGRLayer* OGRGafDataset::ICreateLayer(const char* /*name*/, OGRSpatialReference* srs, OGRwkbGeometryType geometryType,
                                      char** options) {
  if (pendingWriter_ == nullptr) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: a Gaf file set holds one layer, created with the set",
             fileName_.c_str());
    return nullptr;
  }
  if (srs != nullptr && IsWgs84Geographic(*srs)) {
    const GafCoordSys wgs84;  // the record's defaults are WGS 84 longitude/latitude
    pendingWriter_->SetCoordSys(&wgs84);
  } else if (srs != nullptr) {
    CPLError(CE_Warning, CPLE_NotSupported,
             "%s: only WGS 84 longitude/latitude is stored as a coordinate system; this layer's system is not",
             fileName_.c_str());
  }
  GafFieldRoles roles;
  roles.name = CSLFetchNameValueDef(options, "NAME_FIELD", "name");
  roles.key = CSLFetchNameValueDef(options, "KEY_FIELD", "key");
  roles.url = CSLFetchNameValueDef(options, "URL_FIELD", "url");
  layer_ = std::make_unique<OGRGafLayer>(fileName_, std::move(pendingWriter_), srs, geometryType, roles);
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
