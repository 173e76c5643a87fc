// One object record of a reading pass as GDAL sees it: its three texts and
// its geometry.
//
// Kinds: point -> Point; multi-point -> MultiPoint; polyline -> LineString;
// multi-polyline -> MultiLineString; polygon -> Polygon; multi-polygon ->
// the rings organised into exteriors and holes (a Polygon when one exterior
// results, else a MultiPolygon): by their orientation in a set whose header
// says its writer stored them so (GafRingRoles.h), by containment in any
// other set and for a record that does not follow the rule; or, when asked,
// every ring as a polygon of its own inside a MultiPolygon. A record of one
// ring is a MultiPolygon of one part.
#ifndef KRO_GDAL_GAFRECORDREADER_H
#define KRO_GDAL_GAFRECORDREADER_H

#include <memory>
#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "ogr_geometry.h"

namespace kro {

class CGafReader;

// What the open option ORGANIZE_POLYGONS chooses: DEFAULT, CONTAINMENT, SKIP.
enum class RingOrganisation { kByRolesOrContainment, kByContainment, kEveryRingAPolygon };

struct GafFeatureRecord {
  std::string name;
  std::string key;
  std::string url;
  std::unique_ptr<OGRGeometry> geometry;
};

// Reads the reader's current result, an object record (kind 0 to 5).
// eKroOk, or the reader's failure (eKroReadError); `record` is then not to be used.
EKroErrCode ReadGafRecord(CGafReader& reader, RingOrganisation rings, GafFeatureRecord& record);

}  // namespace kro

#endif
