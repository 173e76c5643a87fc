// The three computations the data file makes on a caller's vertices while it
// writes a record: the ring check of polygons, the box of the whole file and
// the box of one object. All work on the caller's doubles, before any
// rounding to single precision, with exact IEEE comparisons.
#ifndef KRO_ENGINE_DATAFILE_GAFGEOMETRY_H
#define KRO_ENGINE_DATAFILE_GAFGEOMETRY_H

#include <cstddef>
#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"

namespace kro {

// The box of everything ever written into a file. `valid` is false until the
// first vertex (or, for an existing file, while its object count is 0).
struct GafFileBox {
  double xMin = 0;
  double yMin = 0;
  double xMax = 0;
  double yMax = 0;
  bool valid = false;
};

// 0 when every ring is closed (its last vertex equals its first in x and in
// y), else eGafPolygonUnclosed. A ring of one vertex is closed; a ring of 0
// vertices has no ends and counts as open; NaN never compares equal.
// REQUIRES: every count >= 0 and `vertices` holds their sum.
EngineStatus CheckRingsClosed(const CKroDoublePointNode* vertices, const int32_t* ringCounts, int32_t ringCount);

// Takes the first vertex as the whole box, then widens it.
void ExtendFileBox(GafFileBox& box, const CKroDoublePointNode& vertex);

// Widens a box that already holds at least one vertex. A NaN coordinate
// changes nothing.
void ExtendBox(BoundingBoxNode& box, const CKroDoublePointNode& vertex);

// The box of one vertex.
BoundingBoxNode PointBox(const CKroDoublePointNode& vertex);
// The box the data file computes for a record's vertices: the first vertex
// sets it, every later one widens it; no vertex gives four zeros.
BoundingBoxNode VerticesBox(const CKroDoublePointNode* vertices, size_t count);

}  // namespace kro

#endif
