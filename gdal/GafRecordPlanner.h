// How one GDAL geometry becomes object records of the kinds that every host's
// import reads:
//   Point -> point; LineString -> polyline;
//   Polygon without holes -> polygon; Polygon with holes (or with a ring of
//   more than 65535 vertices) and MultiPolygon -> one multi-polygon whose
//   rings are every exterior and hole;
//   MultiPoint and MultiLineString -> one record per (non-empty) part.
// Curves are linearised first; Z and M are dropped. Empty parts are left out.
// Rings are stored by the ring-roles rule (GafRingRoles.h): each polygon's
// exterior, then its holes; the exteriors in the orientation of the record's
// first ring, which is kept as given, the holes in the other; judged on the
// coordinates as a set of the given precision stores them.
#ifndef KRO_GDAL_GAFRECORDPLANNER_H
#define KRO_GDAL_GAFRECORDPLANNER_H

#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafRecord.h"

class OGRGeometry;

namespace kro {

using PlannedRecord = GafRecord;

// Fills `records` and returns the empty text, or returns why the geometry
// cannot be stored (empty, a kind the file set does not hold, a coordinate
// that is NaN or infinite, a line of more vertices than a record holds);
// `records` is then not to be used. These are the checks that a feature of
// several records needs before its first record is written; what a single
// record cannot hold (an open ring, too many rings) the engine refuses.
std::string PlanRecords(const OGRGeometry* geometry, uint32_t precisionBits, std::vector<PlannedRecord>& records);

}  // namespace kro

#endif
