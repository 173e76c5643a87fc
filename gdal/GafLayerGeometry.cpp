#include "GafLayerGeometry.h"

#include "engine/datafile/GafFormat.h"
#include "ogr_api.h"

namespace kro {
namespace {

// The kinds-word bit of a layer type; 0 for Unknown.
uint32_t KindOf(OGRwkbGeometryType layerType) {
  switch (layerType) {
    case wkbPoint:
      return gaf::kKindPoints;
    case wkbLineString:
      return gaf::kKindLines;
    case wkbPolygon:
      return gaf::kKindAreas;
    default:
      return 0;
  }
}

}  // namespace

std::optional<OGRwkbGeometryType> LayerTypeDeclaredAs(OGRwkbGeometryType declared) {
  // Curves are linearised; surfaces of triangles stay what they are.
  switch (wkbFlatten(OGR_GT_IsNonLinear(declared) ? OGR_GT_GetLinear(declared) : declared)) {
    case wkbUnknown:
      return wkbUnknown;
    case wkbPoint:
    case wkbMultiPoint:
      return wkbPoint;
    case wkbLineString:
    case wkbMultiLineString:
      return wkbLineString;
    case wkbPolygon:
    case wkbMultiPolygon:
      return wkbPolygon;
    default:
      return std::nullopt;
  }
}

bool LayerTypeTakes(OGRwkbGeometryType layerType, EGafObjectType recordType) {
  const uint32_t kind = KindOf(layerType);
  return kind == 0 || gaf::KindBit(recordType) == kind;
}

}  // namespace kro
