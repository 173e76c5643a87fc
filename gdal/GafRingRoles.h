// The roles of the rings of a multi-polygon record in a set whose header has
// the ring-roles chunk (docs/gaf-format.md, "Ring roles"): every polygon is
// its exterior ring, counter-clockwise, followed directly by its holes,
// clockwise. The driver's writer stores rings so and its reader takes them
// back so; both judge a ring by the one function below, on the coordinates
// as stored, so that they always agree.
#ifndef KRO_GDAL_GAFRINGROLES_H
#define KRO_GDAL_GAFRINGROLES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

enum class RingRole { kExterior, kHole };

// The orientation of the closed ring `points[0, count)` as a set of
// `precisionBits` (32 or 64) stores it: +1 counter-clockwise, -1 clockwise,
// 0 when it cannot be told. It is the sign of the ring's area (x right, y
// up); a ring whose area comes out as zero (its vertices on one line, such
// as a ring along a pole's parallel) takes the sign of the comparison of its
// last-but-one vertex with its second (x, then y), which reversing the ring
// turns too; only a ring whose second and last-but-one vertices are the same
// has none. At 32 bits every coordinate is taken as the nearest single first,
// which leaves coordinates read from such a set as they are. The vertices
// are taken relative to the first, so that large coordinates cancel less.
int StoredRingOrientation(const CKroDoublePointNode* points, size_t count, uint32_t precisionBits);

// Stores the closed ring `points[0, count)` in the orientation of `role`:
// a ring in the other orientation is reversed keeping its first vertex
// (v0, v[n-2], ..., v1, v0), the same ring. A ring without an orientation
// is left as it is.
void OrientRing(CKroDoublePointNode* points, size_t count, RingRole role, uint32_t precisionBits);

// The index of every ring that starts a polygon, in order, for the
// `setCount` rings of `setCounts` laid one after another in `points`: a
// counter-clockwise ring starts one, a clockwise ring is a hole of the
// polygon before it, a ring without an orientation is a hole when a polygon
// is open. Nothing when the first ring is not counter-clockwise: such a
// record was not written by the rule (another writer appended it). Linear in
// the vertices.
std::optional<std::vector<size_t>> PolygonStartsByOrientation(const int32_t* setCounts, size_t setCount,
                                                              const CKroDoublePointNode* points,
                                                              uint32_t precisionBits);

}  // namespace kro

#endif
