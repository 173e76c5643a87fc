// The coordinate-system metadata record: filled by the export from the
// preferences, stored by the data file in its header, read back by the import.
// A plain value type; every string field holds at most 255 bytes and a
// terminator.
#ifndef KRO_ENGINE_DATAFILE_GAFCOORDSYS_H
#define KRO_ENGINE_DATAFILE_GAFCOORDSYS_H

#include <cstdint>

namespace kro {

constexpr int kCoordSysTextSize = 256;
constexpr int kProjectionParameterCount = 24;

struct GafCoordSys {
  char code[kCoordSysTextSize];
  char description[kCoordSysTextSize];
  char groupCode[kCoordSysTextSize];
  char projectionCode[kCoordSysTextSize];
  char unitCode[kCoordSysTextSize];
  double originLongitude;
  double originLatitude;
  double xOffset;
  double yOffset;
  double scaleReduction;
  double unitScale;
  double mapScale;
  double scale;
  double projectionParameters[kProjectionParameterCount];
  char datumCode[kCoordSysTextSize];
  char datumDescription[kCoordSysTextSize];
  double datumDeltaX;
  double datumDeltaY;
  double datumDeltaZ;
  double datumRotationX;
  double datumRotationY;
  double datumRotationZ;
  double datumBWScaleFactor;
  int16_t datumConversionMethod;
  char ellipsoidCode[kCoordSysTextSize];
  char ellipsoidDescription[kCoordSysTextSize];
  double ellipsoidEquatorialRadius;
  double ellipsoidPolarRadius;

  // A new record holds the defaults: WGS84 latitude-longitude in degrees.
  // Copies are plain member-wise copies of every field.
  GafCoordSys();

  // Stores at most 255 bytes of `text` into a string field of this record,
  // cutting without splitting a multi-byte character; a null text stores "".
  static void SetText(char (&field)[kCoordSysTextSize], const char* text);
};

}  // namespace kro

#endif
