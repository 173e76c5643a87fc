#include "GeoJson.h"

#include <vector>

#include "CommandSupport.h"

namespace gaftool {
namespace {

using nlohmann::json;

using Ring = kro::GafPart;

json Positions(const CKroDoublePointNode* points, size_t count) {
  json list = json::array();
  for (size_t i = 0; i < count; ++i) list.push_back({points[i].x, points[i].y});
  return list;
}

json Positions(const Ring& ring) { return Positions(ring.vertices, ring.count); }

std::vector<Ring> Sets(const kro::GafRecord& record) {
  std::vector<Ring> sets;
  for (const Ring part : kro::Parts(record)) sets.push_back(part);
  return sets;
}

// Even-odd test of a point against a ring.
bool Inside(const CKroDoublePointNode& p, const Ring& ring) {
  bool inside = false;
  for (size_t i = 0, j = ring.count - 1; i < ring.count; j = i++) {
    const CKroDoublePointNode& a = ring.vertices[i];
    const CKroDoublePointNode& b = ring.vertices[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

json MultiPolygonCoordinates(const std::vector<Ring>& rings) {
  std::vector<int> depth(rings.size(), 0);
  std::vector<int> outer(rings.size(), -1);
  for (size_t i = 0; i < rings.size(); ++i) {
    for (size_t j = 0; j < rings.size() && rings[i].count > 0; ++j) {
      if (i == j || rings[j].count < 3 || !Inside(rings[i].vertices[0], rings[j])) continue;
      ++depth[i];
      outer[i] = static_cast<int>(j);
    }
  }
  json polygons = json::array();
  std::vector<int> polygonOf(rings.size(), -1);
  for (size_t i = 0; i < rings.size(); ++i) {
    if (depth[i] % 2 != 0) continue;
    polygonOf[i] = static_cast<int>(polygons.size());
    polygons.push_back(json::array({Positions(rings[i])}));
  }
  for (size_t i = 0; i < rings.size(); ++i) {
    if (depth[i] % 2 == 0) continue;
    const int around = outer[i] >= 0 ? polygonOf[static_cast<size_t>(outer[i])] : -1;
    if (around >= 0) {
      polygons[static_cast<size_t>(around)].push_back(Positions(rings[i]));
    } else {
      polygons.push_back(json::array({Positions(rings[i])}));
    }
  }
  return polygons;
}

json Geometry(const kro::GafRecord& record) {
  const std::vector<CKroDoublePointNode>& points = record.vertices;
  switch (static_cast<int32_t>(record.kind)) {
    case kGafPointObject:
      return {{"type", "Point"}, {"coordinates", points.empty() ? json::array() : json::array({points[0].x, points[0].y})}};
    case 1:
      return {{"type", "MultiPoint"}, {"coordinates", Positions(points.data(), points.size())}};
    case kGafPolylineObject:
      return {{"type", "LineString"}, {"coordinates", Positions(points.data(), points.size())}};
    case kGafPolygonObject:
      return {{"type", "Polygon"}, {"coordinates", json::array({Positions(points.data(), points.size())})}};
    case kGafPolyPolylineObject: {
      json lines = json::array();
      for (const Ring& set : kro::Parts(record)) lines.push_back(Positions(set));
      return {{"type", "MultiLineString"}, {"coordinates", lines}};
    }
    default:
      return {{"type", "MultiPolygon"}, {"coordinates", MultiPolygonCoordinates(Sets(record))}};
  }
}

}  // namespace

json FeatureJson(const PassObject& object) {
  return {{"type", "Feature"},
          {"properties",
           {{"name", object.record.name},
            {"key", object.record.key},
            {"url", object.record.url},
            {"kind", KindName(static_cast<uint32_t>(object.record.kind))},
            {"position", object.position}}},
          {"geometry", Geometry(object.record)}};
}

}  // namespace gaftool
