#include "GafRecordDamage.h"

#include <cmath>

#include "engine/datafile/GafRecordDecoder.h"
#include "fileset/CGafReader.h"
#include "ogr_geometry.h"

namespace kro {
namespace {

// Looks at the coordinates of every vertex, curves without a point object
// per vertex.
class FiniteCoordinates final : public OGRDefaultConstGeometryVisitor {
 public:
  using OGRDefaultConstGeometryVisitor::visit;
  void visit(const OGRPoint* point) override { Take(point->getX(), point->getY()); }
  void visit(const OGRLineString* line) override { TakeCurve(*line); }
  void visit(const OGRLinearRing* ring) override { TakeCurve(*ring); }
  bool AllFinite() const { return allFinite_; }

 private:
  void Take(double x, double y) { allFinite_ = allFinite_ && std::isfinite(x) && std::isfinite(y); }
  void TakeCurve(const OGRSimpleCurve& curve) {
    for (int i = 0; i < curve.getNumPoints() && allFinite_; ++i) Take(curve.getX(i), curve.getY(i));
  }
  bool allFinite_ = true;
};

}  // namespace

std::string CoordinateDamage(const OGRGeometry& geometry) {
  FiniteCoordinates coordinates;
  geometry.accept(&coordinates);
  return coordinates.AllFinite() ? std::string() : "a coordinate of the record is not a finite number";
}

std::string LengthDamage(const CGafReader& reader, EGafObjectType kind) {
  const uint32_t content = reader.CurrentContentBytes();
  const uint32_t length = content + reader.CurrentUnusedBytes();
  // Only version 2 records leave bytes over, so their layout is the one to judge by.
  if (gaf::LengthAgreesWithContent(gaf::ShapeOf(kind), gaf::RecordLayout{}, length, content)) return std::string();
  return CPLSPrintf("the record's contents take %u of its %u bytes, more left over than a reused free record "
                    "leaves: its length or a count of it is damaged",
                    content, length);
}

std::string RecordDamage(const CGafReader& reader, EGafObjectType kind, const OGRGeometry& geometry) {
  std::string damage = CoordinateDamage(geometry);
  return damage.empty() ? LengthDamage(reader, kind) : damage;
}

}  // namespace kro
