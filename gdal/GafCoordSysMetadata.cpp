#include "GafCoordSysMetadata.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>

#include "cpl_error.h"
#include "engine/datafile/GafCoordSys.h"
#include "ogr_srs_api.h"

namespace kro {
namespace {

std::string Number(double value) { return CPLSPrintf("%.17g", value); }

// GDAL's own complaints while a system is looked up are not the user's
// concern: the lookup's answer says what happened.
class QuietErrors {
 public:
  QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  CPLErrorStateBackuper lastError_;
};

constexpr const char* kWgs84Code = "LL84";
constexpr int kWgs84Epsg = 4326;
constexpr const char* kEpsgPrefix = "EPSG:";

// The number of a code "EPSG:<digits>", else 0.
int EpsgNumberOf(const char* code) {
  const size_t prefix = std::strlen(kEpsgPrefix);
  if (std::strncmp(code, kEpsgPrefix, prefix) != 0) return 0;
  const char* digits = code + prefix;
  const size_t count = std::strspn(digits, "0123456789");
  if (count == 0 || count > 9 || digits[count] != '\0') return 0;
  return std::atoi(digits);
}

const OGRSpatialReference& Wgs84() {
  static const OGRSpatialReference wgs84 = [] {
    OGRSpatialReference srs;
    srs.SetWellKnownGeogCS("WGS84");
    return srs;
  }();
  return wgs84;
}

// The same system whatever the order of its axes: GDAL's tools hand
// geographic systems over in either order.
bool IsSameSystem(const OGRSpatialReference& a, const OGRSpatialReference& b) {
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS",
                           nullptr};
  return a.IsSame(&b, options) != FALSE;
}

// The EPSG number GDAL gives `srs` (its own, else the best match in GDAL's
// database), only when that EPSG system is `srs`; else 0.
int EpsgNumberFound(const OGRSpatialReference& srs) {
  OGRSpatialReference identified(srs);
  QuietErrors quiet;
  const char* authority = identified.GetAuthorityName(nullptr);
  if (authority == nullptr) {
    int matchCount = 0;
    int* confidences = nullptr;
    OGRSpatialReferenceH* matches = identified.FindMatches(nullptr, &matchCount, &confidences);
    if (matchCount > 0) identified = *OGRSpatialReference::FromHandle(matches[0]);
    OSRFreeSRSArray(matches);
    CPLFree(confidences);
    authority = identified.GetAuthorityName(nullptr);
  }
  if (authority == nullptr || !EQUAL(authority, "EPSG")) return 0;
  const int epsg = EpsgNumberOf(CPLSPrintf("%s%s", kEpsgPrefix, identified.GetAuthorityCode(nullptr)));
  OGRSpatialReference fromCode;
  if (epsg == 0 || fromCode.importFromEPSG(epsg) != OGRERR_NONE || !IsSameSystem(fromCode, srs)) return 0;
  return epsg;
}

// The PARAMETER values of the system's projection in their WKT 1 order.
void TakeProjectionParameters(const OGRSpatialReference& srs, GafCoordSys& record) {
  const OGR_SRSNode* projected = srs.GetAttrNode("PROJCS");
  if (projected == nullptr) return;
  int taken = 0;
  for (int i = 0; i < projected->GetChildCount() && taken < kProjectionParameterCount; ++i) {
    const OGR_SRSNode* child = projected->GetChild(i);
    if (!EQUAL(child->GetValue(), "PARAMETER") || child->GetChildCount() < 2) continue;
    record.projectionParameters[taken++] = CPLAtof(child->GetChild(1)->GetValue());
  }
}

double FirstParameter(const OGRSpatialReference& srs, std::initializer_list<const char*> names, double absent) {
  for (const char* name : names) {
    OGRErr found = OGRERR_NONE;
    const double value = srs.GetNormProjParm(name, absent, &found);
    if (found == OGRERR_NONE) return value;
  }
  return absent;
}

void TakeProjection(const OGRSpatialReference& srs, GafCoordSys& record) {
  if (srs.IsProjected()) {
    const char* method = srs.GetAttrValue("PROJECTION");
    GafCoordSys::SetText(record.projectionCode, method != nullptr ? method : "");
    const char* unit = nullptr;
    record.unitScale = srs.GetLinearUnits(&unit);
    GafCoordSys::SetText(record.unitCode, unit);
    record.originLongitude = FirstParameter(srs, {SRS_PP_CENTRAL_MERIDIAN, SRS_PP_LONGITUDE_OF_CENTER,
                                                  SRS_PP_LONGITUDE_OF_ORIGIN}, 0.0);
    record.originLatitude = FirstParameter(srs, {SRS_PP_LATITUDE_OF_ORIGIN, SRS_PP_LATITUDE_OF_CENTER}, 0.0);
    record.xOffset = srs.GetNormProjParm(SRS_PP_FALSE_EASTING, 0.0);
    record.yOffset = srs.GetNormProjParm(SRS_PP_FALSE_NORTHING, 0.0);
    record.scaleReduction = srs.GetNormProjParm(SRS_PP_SCALE_FACTOR, 1.0);
    TakeProjectionParameters(srs, record);
    return;
  }
  // A geographic system's unit scale is the length of one unit along the equator.
  const char* unit = nullptr;
  record.unitScale = srs.GetAngularUnits(&unit) * srs.GetSemiMajor();
  GafCoordSys::SetText(record.unitCode, unit);
  GafCoordSys::SetText(record.projectionCode, "LL");
  GafCoordSys::SetText(record.groupCode, "LL");
}

// "EPSG:<code>" of a node of the system, or the empty text.
std::string AuthorityCodeOf(const OGRSpatialReference& srs, const char* node) {
  const char* authority = srs.GetAuthorityName(node);
  const char* code = srs.GetAuthorityCode(node);
  if (authority == nullptr || code == nullptr) return std::string();
  return std::string(authority) + ":" + code;
}

void TakeDatum(const OGRSpatialReference& srs, GafCoordSys& record) {
  GafCoordSys::SetText(record.datumCode, AuthorityCodeOf(srs, "DATUM").c_str());
  GafCoordSys::SetText(record.datumDescription, srs.GetAttrValue("DATUM"));
  double shift[7] = {0, 0, 0, 0, 0, 0, 0};
  if (srs.GetTOWGS84(shift, 7) != OGRERR_NONE) std::fill(std::begin(shift), std::end(shift), 0.0);
  record.datumDeltaX = shift[0];
  record.datumDeltaY = shift[1];
  record.datumDeltaZ = shift[2];
  record.datumRotationX = shift[3];
  record.datumRotationY = shift[4];
  record.datumRotationZ = shift[5];
  record.datumBWScaleFactor = shift[6];
  GafCoordSys::SetText(record.ellipsoidCode, AuthorityCodeOf(srs, "SPHEROID").c_str());
  GafCoordSys::SetText(record.ellipsoidDescription, srs.GetAttrValue("SPHEROID"));
  record.ellipsoidEquatorialRadius = srs.GetSemiMajor();
  record.ellipsoidPolarRadius = srs.GetSemiMinor();
}

}  // namespace

CPLStringList CoordSysMetadata(const GafCoordSys& c) {
  CPLStringList items;
  items.SetNameValue("COORDSYS_CODE", c.code);
  items.SetNameValue("COORDSYS_DESCRIPTION", c.description);
  items.SetNameValue("COORDSYS_GROUP_CODE", c.groupCode);
  items.SetNameValue("COORDSYS_PROJECTION_CODE", c.projectionCode);
  items.SetNameValue("COORDSYS_UNIT_CODE", c.unitCode);
  const std::pair<const char*, double> numbers[] = {
      {"COORDSYS_ORIGIN_LONGITUDE", c.originLongitude},
      {"COORDSYS_ORIGIN_LATITUDE", c.originLatitude},
      {"COORDSYS_X_OFFSET", c.xOffset},
      {"COORDSYS_Y_OFFSET", c.yOffset},
      {"COORDSYS_SCALE_REDUCTION", c.scaleReduction},
      {"COORDSYS_UNIT_SCALE", c.unitScale},
      {"COORDSYS_MAP_SCALE", c.mapScale},
      {"COORDSYS_SCALE", c.scale},
      {"DATUM_DELTA_X", c.datumDeltaX},
      {"DATUM_DELTA_Y", c.datumDeltaY},
      {"DATUM_DELTA_Z", c.datumDeltaZ},
      {"DATUM_ROTATION_X", c.datumRotationX},
      {"DATUM_ROTATION_Y", c.datumRotationY},
      {"DATUM_ROTATION_Z", c.datumRotationZ},
      {"DATUM_BW_SCALE_FACTOR", c.datumBWScaleFactor},
      {"ELLIPSOID_EQUATORIAL_RADIUS", c.ellipsoidEquatorialRadius},
      {"ELLIPSOID_POLAR_RADIUS", c.ellipsoidPolarRadius},
  };
  for (const auto& [name, value] : numbers) items.SetNameValue(name, Number(value).c_str());
  std::string parameters;
  for (int i = 0; i < kProjectionParameterCount; ++i) {
    if (i > 0) parameters += ',';
    parameters += Number(c.projectionParameters[i]);
  }
  items.SetNameValue("COORDSYS_PROJECTION_PARAMETERS", parameters.c_str());
  items.SetNameValue("DATUM_CODE", c.datumCode);
  items.SetNameValue("DATUM_DESCRIPTION", c.datumDescription);
  items.SetNameValue("DATUM_CONVERSION_METHOD", CPLSPrintf("%d", c.datumConversionMethod));
  items.SetNameValue("ELLIPSOID_CODE", c.ellipsoidCode);
  items.SetNameValue("ELLIPSOID_DESCRIPTION", c.ellipsoidDescription);
  return items;
}

SpatialReferencePtr SpatialReferenceOf(const GafCoordSys& record) {
  SpatialReferencePtr srs(nullptr, OSRRelease);
  const int epsg = std::strcmp(record.code, kWgs84Code) == 0 ? kWgs84Epsg : EpsgNumberOf(record.code);
  if (epsg == 0) return srs;
  srs.reset(new OGRSpatialReference());
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  QuietErrors quiet;  // an unknown number is another program's code
  if (srs->importFromEPSG(epsg) != OGRERR_NONE) srs.reset();
  return srs;
}

GafCoordSys CoordSysOf(const OGRSpatialReference& srs) {
  GafCoordSys record;  // the defaults are WGS 84 longitude/latitude
  if (srs.IsGeographic() && IsSameSystem(srs, Wgs84())) return record;
  const int epsg = EpsgNumberFound(srs);
  GafCoordSys::SetText(record.code, epsg != 0 ? CPLSPrintf("%s%d", kEpsgPrefix, epsg) : "");
  GafCoordSys::SetText(record.groupCode, epsg != 0 ? "EPSG" : "");
  GafCoordSys::SetText(record.description, srs.GetName());
  TakeProjection(srs, record);
  TakeDatum(srs, record);
  return record;
}

}  // namespace kro
