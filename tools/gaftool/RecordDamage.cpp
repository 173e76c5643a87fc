#include "RecordDamage.h"

#include <cmath>

#include "InspectionNames.h"
#include "engine/datafile/GafFormat.h"

namespace gaftool {

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

std::string FirstNonFiniteRecord(const ByteFile& bytes, const GafScan& scan) {
  DecodedRecord record;
  std::string problem;
  for (const GafRecordSummary& summary : scan.records) {
    if (DecodeRecord(bytes, summary.payload, summary.length, kro::gaf::kCodeFirstObject + summary.type, scan.header,
                     record, problem) != nullptr) {
      continue;  // the walk reported it already
    }
    const size_t vertex = FirstNonFiniteVertex(record.vertices.points);
    if (vertex != kAllFinite) return NonFiniteMessage(summary.position, vertex);
  }
  return std::string();
}

std::string LengthDamage(uint32_t position, uint32_t contentBytes, uint32_t unusedBytes) {
  if (unusedBytes == 0 || unusedBytes < contentBytes) return std::string();
  return "the record at " + Hex(position) + ": its contents take " + std::to_string(contentBytes) + " of its " +
         std::to_string(contentBytes + unusedBytes) + " bytes, more left over than a reused free record leaves: a count of it is damaged";
}

}  // namespace gaftool
