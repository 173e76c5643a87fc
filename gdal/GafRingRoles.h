// The roles of the rings of a multi-polygon record in a set whose header has
// the ring-roles chunk (docs/gaf-format.md, "Ring roles"): every polygon is
// its exterior ring followed directly by its holes; the record's first ring
// is an exterior, and its orientation is that of every exterior of the
// record, holes having the other. The driver's writer stores rings so (a
// source whose rings keep one such convention is stored unchanged) and its
// reader takes them back so; both judge a ring by the one function below,
// on the coordinates as stored, so that they always agree.
#ifndef KRO_GDAL_GAFRINGROLES_H
#define KRO_GDAL_GAFRINGROLES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

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

// The orientation every exterior of a record takes when its first ring has
// `firstOrientation`: that one, or counter-clockwise when the first ring has
// none.
int ExteriorOrientation(int firstOrientation);

// Stores the closed ring `points[0, count)` in `orientation` (+1 or -1): a
// ring in the other orientation is reversed keeping its first vertex (v0,
// v[n-2], ..., v1, v0), the same ring. A ring without an orientation is left
// as it is.
void OrientRing(CKroDoublePointNode* points, size_t count, int orientation, uint32_t precisionBits);

// The index of every ring that starts a polygon, in order, for the
// `setCount` rings of `setCounts` laid one after another in `points`: the
// first ring starts one and sets the exteriors' orientation; a later ring
// of that orientation starts one, a ring of the other orientation or of
// none is a hole of the polygon before it. Linear in the vertices.
std::vector<size_t> PolygonStartsByOrientation(const int32_t* setCounts, size_t setCount,
                                               const CKroDoublePointNode* points, uint32_t precisionBits);

}  // namespace kro

#endif
