#include "GafRecordPlanner.h"

#include <cmath>
#include <limits>
#include <memory>

#include "GafRingRoles.h"
#include "ogr_geometry.h"

namespace kro {
namespace {

// u16 counts of a record.
constexpr int kMaxRecordCount = std::numeric_limits<uint16_t>::max();

// Vertices of every non-empty ring of the polygons, so that a record's array
// is sized once: growing it ring by ring would copy every earlier ring again.
size_t RingVertices(const OGRMultiPolygon& polygons) {
  size_t total = 0;
  for (const OGRPolygon* polygon : polygons) {
    for (const OGRLinearRing* ring : *polygon) total += static_cast<size_t>(ring->getNumPoints());
  }
  return total;
}

class Planner {
 public:
  Planner(std::vector<PlannedRecord>& records, uint32_t precisionBits)
      : records_(records), precisionBits_(precisionBits) {}

  std::string Plan(const OGRGeometry& geometry) {
    switch (wkbFlatten(geometry.getGeometryType())) {
      case wkbPoint:
        AddPoint(*geometry.toPoint());
        break;
      case wkbLineString:
        AddSingleSet(kGafPolylineObject, *geometry.toLineString());
        break;
      case wkbPolygon:
        AddPolygon(*geometry.toPolygon());
        break;
      case wkbMultiPolygon:
        AddRings(*geometry.toMultiPolygon());
        break;
      case wkbMultiPoint:
        for (const OGRPoint* part : *geometry.toMultiPoint()) {
          if (!part->IsEmpty()) AddPoint(*part);
        }
        break;
      case wkbMultiLineString:
        for (const OGRLineString* part : *geometry.toMultiLineString()) {
          if (!part->IsEmpty()) AddSingleSet(kGafPolylineObject, *part);
        }
        break;
      default:
        return std::string("a ") + OGRGeometryTypeToName(geometry.getGeometryType()) +
               " is not a kind a Gaf file set holds";
    }
    return refusal_;
  }

 private:
  PlannedRecord& NewRecord(EGafObjectType type) {
    records_.emplace_back();
    records_.back().kind = type;
    return records_.back();
  }

  bool TakeVertex(double x, double y, PlannedRecord& record) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
      Refuse("a coordinate is NaN or infinite");
      return false;
    }
    record.vertices.push_back({x, y});
    return true;
  }

  // The caller has reserved room for the curve's vertices.
  bool TakeCurve(const OGRSimpleCurve& curve, PlannedRecord& record) {
    const int count = curve.getNumPoints();
    for (int i = 0; i < count; ++i) {
      if (!TakeVertex(curve.getX(i), curve.getY(i), record)) return false;
    }
    return true;
  }

  // REQUIRES: `exterior` is 0 for the record's first ring, else the
  // exteriors' orientation, which it then returns unchanged.
  int TakeRing(const OGRLinearRing& ring, bool isExterior, int exterior, PlannedRecord& record) {
    const size_t start = record.vertices.size();
    if (!TakeCurve(ring, record)) return exterior;
    CKroDoublePointNode* points = record.vertices.data() + start;
    const size_t count = record.vertices.size() - start;
    if (exterior == 0) return ExteriorOrientation(StoredRingOrientation(points, count, precisionBits_));
    OrientRing(points, count, isExterior ? exterior : -exterior, precisionBits_);
    return exterior;
  }

  void AddPoint(const OGRPoint& point) {
    PlannedRecord& record = NewRecord(kGafPointObject);
    record.parts.assign(1, 1);
    TakeVertex(point.getX(), point.getY(), record);
  }

  void AddSingleSet(EGafObjectType type, const OGRSimpleCurve& curve) {
    if (curve.getNumPoints() > kMaxRecordCount) return Refuse("a line has more than 65535 vertices");
    PlannedRecord& record = NewRecord(type);
    record.parts.assign(1, curve.getNumPoints());
    record.vertices.reserve(static_cast<size_t>(curve.getNumPoints()));
    TakeCurve(curve, record);
  }

  void AddPolygon(const OGRPolygon& polygon) {
    // A ring longer than a polygon record holds fits a multi-polygon record.
    const OGRLinearRing* exterior = polygon.getExteriorRing();
    if (polygon.getNumInteriorRings() == 0 && exterior->getNumPoints() <= kMaxRecordCount) {
      // A record of one ring has no roles to keep: stored as given.
      return AddSingleSet(kGafPolygonObject, *exterior);
    }
    OGRMultiPolygon single;
    single.addGeometry(&polygon);
    AddRings(single);
  }

  // Each polygon's exterior, then its holes: the first ring keeps its
  // orientation, every other exterior takes it and every hole the other.
  void AddRings(const OGRMultiPolygon& polygons) {
    PlannedRecord& record = NewRecord(kGafPolyPolygonObject);
    record.vertices.reserve(RingVertices(polygons));
    int exterior = 0;
    for (const OGRPolygon* polygon : polygons) {
      bool isExterior = true;
      for (const OGRLinearRing* ring : *polygon) {
        if (ring->IsEmpty()) continue;
        record.parts.push_back(ring->getNumPoints());
        exterior = TakeRing(*ring, isExterior, exterior, record);
        isExterior = false;
      }
    }
  }

  void Refuse(const char* reason) {
    if (refusal_.empty()) refusal_ = reason;
  }

  std::vector<PlannedRecord>& records_;
  const uint32_t precisionBits_;
  std::string refusal_;
};

}  // namespace

std::string PlanRecords(const OGRGeometry* geometry, uint32_t precisionBits, std::vector<PlannedRecord>& records) {
  records.clear();
  if (geometry == nullptr || geometry->IsEmpty()) return "the geometry is empty";
  std::unique_ptr<OGRGeometry> linear;
  // Curve types too when every part is linear (a MultiSurface of polygons):
  // the planner knows linear types only.
  if (geometry->hasCurveGeometry(TRUE)) {
    linear.reset(geometry->getLinearGeometry());
    if (linear == nullptr) return "the curve geometry cannot be linearised";
    geometry = linear.get();
  }
  return Planner(records, precisionBits).Plan(*geometry);
}

}  // namespace kro
