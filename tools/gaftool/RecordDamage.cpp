#include "RecordDamage.h"

#include <cmath>

#include "InspectionNames.h"
#include "engine/datafile/GafRecordDecoder.h"

namespace gaftool {

namespace gaf = kro::gaf;

size_t FirstNonFiniteVertex(const std::vector<CKroDoublePointNode>& points) {
  for (size_t i = 0; i < points.size(); ++i) {
    if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) return i;
  }
  return kAllFinite;
}

std::string NonFiniteMessage(uint32_t position, size_t vertex) {
  return "the record at " + Hex(position) + ": vertex " + std::to_string(vertex) +
         " has a coordinate that is not a finite number";
}

std::string LengthDamage(EGafObjectType kind, uint32_t position, uint32_t contentBytes, uint32_t unusedBytes) {
  // Only version 2 records leave bytes over, so their layout is the one to judge by.
  const gaf::RecordLayout layout{};
  if (gaf::LengthAgreesWithContent(gaf::ShapeOf(kind), layout, contentBytes + unusedBytes, contentBytes)) {
    return std::string();
  }
  return "the record at " + Hex(position) + ": its contents take " + std::to_string(contentBytes) + " of its " +
         std::to_string(contentBytes + unusedBytes) + " bytes, more left over than a reused free record leaves: a count of it is damaged";
}

}  // namespace gaftool
