#include "GafRecordReader.h"

#include <vector>

#include "GafRingRoles.h"

#include "engine/datafile/GafFormat.h"
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

// What every reader call hands back; valid until the next read.
struct RecordView {
  const char* name = nullptr;
  const char* key = nullptr;
  const char* url = nullptr;
  int32_t count = 0;  // vertices of a single set, or sets
  const int32_t* setCounts = nullptr;
  const CKroDoublePointNode* points = nullptr;
};

template <class Curve>
std::unique_ptr<Curve> CurveOf(const CKroDoublePointNode* points, int32_t count) {
  auto curve = std::make_unique<Curve>();
  curve->setNumPoints(count, FALSE);
  for (int32_t i = 0; i < count; ++i) curve->setPoint(i, points[i].x, points[i].y);
  return curve;
}

std::unique_ptr<OGRPolygon> PolygonOf(const CKroDoublePointNode* points, int32_t count) {
  auto polygon = std::make_unique<OGRPolygon>();
  polygon->addRingDirectly(CurveOf<OGRLinearRing>(points, count).release());
  return polygon;
}

std::unique_ptr<OGRGeometry> MultiPointOf(const RecordView& view) {
  auto multi = std::make_unique<OGRMultiPoint>();
  for (int32_t i = 0; i < view.count; ++i) multi->addGeometryDirectly(new OGRPoint(view.points[i].x, view.points[i].y));
  return multi;
}

std::unique_ptr<OGRGeometry> MultiLineOf(const RecordView& view) {
  auto multi = std::make_unique<OGRMultiLineString>();
  const CKroDoublePointNode* set = view.points;
  for (int32_t i = 0; i < view.count; set += view.setCounts[i], ++i) {
    multi->addGeometryDirectly(CurveOf<OGRLineString>(set, view.setCounts[i]).release());
  }
  return multi;
}

// Every ring a polygon of its own.
std::vector<std::unique_ptr<OGRPolygon>> RingPolygons(const RecordView& view) {
  std::vector<std::unique_ptr<OGRPolygon>> polygons;
  polygons.reserve(static_cast<size_t>(view.count));
  const CKroDoublePointNode* set = view.points;
  for (int32_t i = 0; i < view.count; set += view.setCounts[i], ++i) polygons.push_back(PolygonOf(set, view.setCounts[i]));
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
std::unique_ptr<OGRGeometry> ByOrientation(const RecordView& view, uint32_t precisionBits) {
  const std::vector<size_t> starts =
      PolygonStartsByOrientation(view.setCounts, static_cast<size_t>(view.count), view.points, precisionBits);
  std::vector<std::unique_ptr<OGRPolygon>> polygons;
  polygons.reserve(starts.size());
  size_t next = 0;
  const CKroDoublePointNode* set = view.points;
  for (size_t i = 0; i < static_cast<size_t>(view.count); set += view.setCounts[i], ++i) {
    if (next < starts.size() && starts[next] == i) {
      polygons.push_back(std::make_unique<OGRPolygon>());
      ++next;
    }
    polygons.back()->addRingDirectly(CurveOf<OGRLinearRing>(set, view.setCounts[i]).release());
  }
  return OneOrMulti(std::move(polygons));
}

std::unique_ptr<OGRGeometry> MultiPolygonOf(const RecordView& view, const RingReading& rings) {
  // A single ring is a multi-polygon of one part: a polygon without holes
  // has a record kind of its own.
  if (rings.organisation == RingOrganisation::kEveryRingAPolygon || view.count < 2) {
    return MultiOf(RingPolygons(view));
  }
  if (rings.organisation == RingOrganisation::kByRolesOrContainment && rings.rolesByOrientation) {
    return ByOrientation(view, rings.precisionBits);
  }
  return ByContainment(RingPolygons(view));
}

EKroErrCode ReadView(CGafReader& reader, EGafObjectType kind, RecordView& v) {
  switch (static_cast<int32_t>(kind)) {
    case kGafPointObject:
      v.count = 1;
      return reader.ReadPoint(v.name, v.key, v.url, v.points);
    case gaf::kMultiPointType:
      return reader.ReadMultiPoint(v.name, v.key, v.url, v.count, v.points);
    case kGafPolylineObject:
      return reader.ReadPolyline(v.name, v.key, v.url, v.count, v.points);
    case kGafPolyPolylineObject:
      return reader.ReadPolyPolyline(v.name, v.key, v.url, v.count, v.setCounts, v.points);
    case kGafPolygonObject:
      return reader.ReadPolygon(v.name, v.key, v.url, v.count, v.points);
    case kGafPolyPolygonObject:
      return reader.ReadPolyPolygon(v.name, v.key, v.url, v.count, v.setCounts, v.points);
    default:
      return eKroInvalidType;
  }
}

std::unique_ptr<OGRGeometry> GeometryOf(EGafObjectType kind, const RecordView& view, const RingReading& rings) {
  switch (static_cast<int32_t>(kind)) {
    case kGafPointObject:
      return std::make_unique<OGRPoint>(view.points[0].x, view.points[0].y);
    case gaf::kMultiPointType:
      return MultiPointOf(view);
    case kGafPolylineObject:
      return CurveOf<OGRLineString>(view.points, view.count);
    case kGafPolyPolylineObject:
      return MultiLineOf(view);
    case kGafPolygonObject:
      return PolygonOf(view.points, view.count);
    default:
      return MultiPolygonOf(view, rings);
  }
}

}  // namespace

EKroErrCode ReadGafRecord(CGafReader& reader, EGafObjectType kind, RingOrganisation rings, GafRecord& record) {
  RecordView view;
  const EKroErrCode result = ReadView(reader, kind, view);
  if (result != eKroOk) return result;
  record.name = view.name != nullptr ? view.name : "";
  record.key = view.key != nullptr ? view.key : "";
  record.url = view.url != nullptr ? view.url : "";
  record.geometry = GeometryOf(kind, view, RingReading{rings, reader.RingRolesByOrientation(), reader.GetPrecision()});
  return eKroOk;
}

}  // namespace kro
