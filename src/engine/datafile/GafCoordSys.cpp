#include "engine/datafile/GafCoordSys.h"

#include <cstring>

#include "platform/MultiByte.h"

namespace kro {

GafCoordSys::GafCoordSys() {
  std::memset(static_cast<void*>(this), 0, sizeof *this);
  SetText(code, "LL84");
  SetText(description, "WGS84 datum, Latitude-Longitude, Degrees");
  SetText(groupCode, "LL");
  SetText(projectionCode, "LL");
  SetText(unitCode, "DEGREE");
  scaleReduction = 1.0;
  unitScale = 111319.49079327;
  mapScale = 1.0;
  scale = 1.0;
  SetText(datumCode, "WGS84");
  SetText(datumDescription, "World Geodetic System of 1984");
  datumConversionMethod = 6;
  SetText(ellipsoidCode, "WGS84");
  ellipsoidEquatorialRadius = 6378137.0;
  ellipsoidPolarRadius = 6356752.3142;
}

void GafCoordSys::SetText(char (&field)[kCoordSysTextSize], const char* text) {
  const size_t taken = MbCopyBounded(field, text != nullptr ? text : "", kCoordSysTextSize - 1);
  field[taken] = '\0';
}

}  // namespace kro
