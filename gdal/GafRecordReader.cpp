#include "GafRecordReader.h"

#include <vector>

#include "GafRingRoles.h"

#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafRecord.h"
#include "fileset/CGafReader.h"
#include "ogr_geometry.h"

namespace kro {
namespace {

// How the rings of the multi-polygon records of one set are read.
struct RingReading {
  RingOrganisation organisation = RingOrganisation::kByRolesOrContainment;
  bool rolesByOrientation = false;  // the set's header has the ring-roles chunk
  uint32_t precisionBits = 64;
};

template <class Curve>
std::unique_ptr<Curve> CurveOf(const GafPart& part) {
  auto curve = std::make_unique<Curve>();
  curve->setNumPoints(static_cast<int>(part.count), FALSE);
  for (size_t i = 0; i < part.count; ++i) curve->setPoint(static_cast<int>(i), part.vertices[i].x, part.vertices[i].y);
  return curve;
}

std::unique_ptr<OGRPolygon> PolygonOf(const GafPart& part) {
  auto polygon = std::make_unique<OGRPolygon>();
  polygon->addRingDirectly(CurveOf<OGRLinearRing>(part).release());
  return polygon;
}

// The record's only part, or none.
GafPart OnlyPart(const GafRecord& record) { return record.parts.empty() ? GafPart{} : *Parts(record).begin(); }

std::unique_ptr<OGRGeometry> MultiPointOf(const GafRecord& record) {
  auto multi = std::make_unique<OGRMultiPoint>();
  for (const CKroDoublePointNode& point : record.vertices) multi->addGeometryDirectly(new OGRPoint(point.x, point.y));
  return multi;
}

std::unique_ptr<OGRGeometry> MultiLineOf(const GafRecord& record) {
  auto multi = std::make_unique<OGRMultiLineString>();
  for (const GafPart part : Parts(record)) multi->addGeometryDirectly(CurveOf<OGRLineString>(part).release());
  return multi;
}

// Every ring a polygon of its own.
std::vector<std::unique_ptr<OGRPolygon>> RingPolygons(const GafRecord& record) {
  std::vector<std::unique_ptr<OGRPolygon>> polygons;
  polygons.reserve(record.parts.size());
  for (const GafPart part : Parts(record)) polygons.push_back(PolygonOf(part));
  return polygons;
}

std::unique_ptr<OGRGeometry> MultiOf(std::vector<std::unique_ptr<OGRPolygon>> polygons) {
  auto multi = std::make_unique<OGRMultiPolygon>();
  for (auto& polygon : polygons) multi->addGeometryDirectly(polygon.release());
  return multi;
}

// A Polygon when the rings make one polygon, else a MultiPolygon, as
// containment answers.
std::unique_ptr<OGRGeometry> OneOrMulti(std::vector<std::unique_ptr<OGRPolygon>> polygons) {
  if (polygons.size() == 1) return std::move(polygons.front());
  return MultiOf(std::move(polygons));
}

// Every ring's role by containment. An explicit method keeps GDAL from
// warning that many rings "may be really slow" and pointing at an option of
// its own; the work is the same as without one.
std::unique_ptr<OGRGeometry> ByContainment(std::vector<std::unique_ptr<OGRPolygon>> rings) {
  std::vector<OGRGeometry*> polygons;
  polygons.reserve(rings.size());
  for (auto& ring : rings) polygons.push_back(ring.release());
  const char* const options[] = {"METHOD=DEFAULT", nullptr};
  int valid = FALSE;
  // Takes the polygons; returns a Polygon or a MultiPolygon.
  return std::unique_ptr<OGRGeometry>(OGRGeometryFactory::organizePolygons(
      polygons.data(), static_cast<int>(polygons.size()), &valid, const_cast<const char**>(options)));
}

// The rings as the ring-roles rule gives them.
std::unique_ptr<OGRGeometry> ByOrientation(const GafRecord& record, uint32_t precisionBits) {
  const std::vector<size_t> starts =
      PolygonStartsByOrientation(record.parts.data(), record.parts.size(), record.vertices.data(), precisionBits);
  std::vector<std::unique_ptr<OGRPolygon>> polygons;
  polygons.reserve(starts.size());
  size_t next = 0;
  size_t i = 0;
  for (const GafPart part : Parts(record)) {
    if (next < starts.size() && starts[next] == i) {
      polygons.push_back(std::make_unique<OGRPolygon>());
      ++next;
    }
    polygons.back()->addRingDirectly(CurveOf<OGRLinearRing>(part).release());
    ++i;
  }
  return OneOrMulti(std::move(polygons));
}

std::unique_ptr<OGRGeometry> MultiPolygonOf(const GafRecord& record, const RingReading& rings) {
  // A single ring is a multi-polygon of one part: a polygon without holes
  // has a record kind of its own.
  if (rings.organisation == RingOrganisation::kEveryRingAPolygon || record.parts.size() < 2) {
    return MultiOf(RingPolygons(record));
  }
  if (rings.organisation == RingOrganisation::kByRolesOrContainment && rings.rolesByOrientation) {
    return ByOrientation(record, rings.precisionBits);
  }
  return ByContainment(RingPolygons(record));
}

// The OGR geometry of a record: the other side's boundary mapping.
std::unique_ptr<OGRGeometry> GeometryOf(const GafRecord& record, const RingReading& rings) {
  switch (static_cast<int32_t>(record.kind)) {
    case kGafPointObject:
      return std::make_unique<OGRPoint>(record.vertices[0].x, record.vertices[0].y);
    case gaf::kMultiPointType:
      return MultiPointOf(record);
    case kGafPolylineObject:
      return CurveOf<OGRLineString>(OnlyPart(record));
    case kGafPolyPolylineObject:
      return MultiLineOf(record);
    case kGafPolygonObject:
      return PolygonOf(OnlyPart(record));
    default:
      return MultiPolygonOf(record, rings);
  }
}

}  // namespace

EKroErrCode ReadGafRecord(CGafReader& reader, RingOrganisation rings, GafFeatureRecord& record) {
  GafRecord stored;
  const EKroErrCode result = reader.Read(stored);
  if (result != eKroOk) return result;
  record.name = std::move(stored.name);
  record.key = std::move(stored.key);
  record.url = std::move(stored.url);
  record.geometry = GeometryOf(stored, RingReading{rings, reader.RingRolesByOrientation(), reader.GetPrecision()});
  return eKroOk;
}

}  // namespace kro
