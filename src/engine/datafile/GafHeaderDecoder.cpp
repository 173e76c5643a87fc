#include "engine/datafile/GafHeaderDecoder.h"

#include <new>

namespace kro::gaf {
namespace {

bool GetField(GafPayloadReader& reader, char (&field)[kCoordSysTextSize]) {
  uint32_t stored = 0;
  return reader.GetString(field, kCoordSysTextSize, stored);
}

bool GetNumbers(GafPayloadReader& reader, double* const* numbers, int count) {
  for (int i = 0; i < count; ++i) {
    if (!reader.GetF64(*numbers[i])) return false;
  }
  return true;
}

}  // namespace

bool DecodeInfo(GafPayloadReader& reader, InfoFields& info) {
  return reader.GetU32(info.objectCount) && reader.GetU32(info.freeListHead) && reader.GetU32(info.kinds) &&
         reader.GetF64(info.xMin) && reader.GetF64(info.yMin) && reader.GetF64(info.xMax) && reader.GetF64(info.yMax);
}

bool DecodeDescription(GafPayloadReader& reader, std::string& description) {
  uint32_t stored = 0;
  try {
    std::string text;
    if (!reader.GetString(text, stored)) return false;
    description = std::move(text);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool DecodeCoordSys(GafPayloadReader& reader, GafCoordSys& c) {
  double* const numbers[] = {&c.originLongitude, &c.originLatitude, &c.xOffset,  &c.yOffset,
                             &c.scaleReduction,  &c.unitScale,      &c.mapScale, &c.scale};
  return GetField(reader, c.code) && GetField(reader, c.description) && GetField(reader, c.groupCode) &&
         GetField(reader, c.projectionCode) && GetField(reader, c.unitCode) && GetNumbers(reader, numbers, 8);
}

bool DecodeProjection(GafPayloadReader& reader, GafCoordSys& c) {
  for (double& parameter : c.projectionParameters) {
    if (!reader.GetF64(parameter)) return false;
  }
  return true;
}

bool DecodeDatum(GafPayloadReader& reader, GafCoordSys& c) {
  double* const numbers[] = {&c.datumDeltaX,    &c.datumDeltaY,    &c.datumDeltaZ,       &c.datumRotationX,
                             &c.datumRotationY, &c.datumRotationZ, &c.datumBWScaleFactor};
  uint32_t method = 0;
  if (!GetField(reader, c.datumCode) || !GetField(reader, c.datumDescription) || !GetNumbers(reader, numbers, 7) ||
      !reader.GetU16(method)) {
    return false;
  }
  c.datumConversionMethod = static_cast<int16_t>(method);
  return true;
}

bool DecodeEllipsoid(GafPayloadReader& reader, GafCoordSys& c) {
  double* const numbers[] = {&c.ellipsoidEquatorialRadius, &c.ellipsoidPolarRadius};
  return GetField(reader, c.ellipsoidCode) && GetField(reader, c.ellipsoidDescription) &&
         GetNumbers(reader, numbers, 2);
}

}  // namespace kro::gaf
