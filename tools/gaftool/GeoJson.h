// Objects as GeoJSON features: point -> Point, multi-point -> MultiPoint,
// polyline -> LineString, multi-polyline -> MultiLineString, polygon ->
// Polygon, multi-polygon -> MultiPolygon whose rings are grouped by nesting
// (a ring inside an odd number of others is a hole of the ring around it).
#ifndef KRO_GAFTOOL_GEOJSON_H
#define KRO_GAFTOOL_GEOJSON_H

#include <nlohmann/json.hpp>

#include "ObjectPass.h"

namespace gaftool {

// A Feature with the properties name, key, url, kind and position.
nlohmann::json FeatureJson(const PassObject& object);

}  // namespace gaftool

#endif
