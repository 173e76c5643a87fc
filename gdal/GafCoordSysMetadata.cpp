#include "GafCoordSysMetadata.h"

#include <cstring>
#include <string>

#include "engine/datafile/GafCoordSys.h"

namespace kro {
namespace {

std::string Number(double value) { return CPLSPrintf("%.17g", value); }

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

std::unique_ptr<OGRSpatialReference, decltype(&OSRRelease)> SpatialReferenceOf(const GafCoordSys& record) {
  std::unique_ptr<OGRSpatialReference, decltype(&OSRRelease)> srs(nullptr, OSRRelease);
  if (std::strcmp(record.code, "LL84") != 0) return srs;
  srs.reset(new OGRSpatialReference());
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (srs->importFromEPSG(4326) != OGRERR_NONE) srs.reset();
  return srs;
}

bool IsWgs84Geographic(const OGRSpatialReference& srs) {
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  return srs.IsGeographic() && srs.IsSame(&wgs84, options);
}

}  // namespace kro
