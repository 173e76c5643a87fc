// Box arithmetic of the R-tree. Boxes are closed and ordered xMin, yMin, xMax,
// yMax. A NaN coordinate never meets or contains anything, and unions skip
// NaN values, so one malformed entry cannot poison the boxes above it and
// hide its neighbours from searches.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFBOX_H
#define KRO_ENGINE_SPATIALINDEX_SIFBOX_H

#include <cmath>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::sif {

inline double Area(const BoundingBoxNode& b) { return (b.xMax - b.xMin) * (b.yMax - b.yMin); }

inline double MinSkippingNaN(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return b < a ? b : a;
}

inline double MaxSkippingNaN(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return b > a ? b : a;
}

inline BoundingBoxNode Union(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  return BoundingBoxNode{MinSkippingNaN(a.xMin, b.xMin), MinSkippingNaN(a.yMin, b.yMin),
                         MaxSkippingNaN(a.xMax, b.xMax), MaxSkippingNaN(a.yMax, b.yMax)};
}

// Closed boxes: touching at an edge or a corner counts.
inline bool Meets(const BoundingBoxNode& e, const BoundingBoxNode& q) {
  return e.xMin <= q.xMax && e.xMax >= q.xMin && e.yMin <= q.yMax && e.yMax >= q.yMin;
}

inline bool Contains(const BoundingBoxNode& outer, const BoundingBoxNode& inner) {
  return outer.xMin <= inner.xMin && outer.xMax >= inner.xMax && outer.yMin <= inner.yMin &&
         outer.yMax >= inner.yMax;
}

inline bool HasNaN(const BoundingBoxNode& b) {
  return std::isnan(b.xMin) || std::isnan(b.yMin) || std::isnan(b.xMax) || std::isnan(b.yMax);
}

inline bool SameCoordinate(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Exact equality, with NaN equal to NaN (a box recomputed from the same
// entries must compare equal to the stored one).
inline bool SameBox(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  return SameCoordinate(a.xMin, b.xMin) && SameCoordinate(a.yMin, b.yMin) &&
         SameCoordinate(a.xMax, b.xMax) && SameCoordinate(a.yMax, b.yMax);
}

// Whether an object of `objectType` passes a search's type filter.
inline bool PassesFilter(uint32_t objectType, uint32_t filter) {
  switch (filter) {
    case kFilterAll: return true;
    case kFilterPoints: return objectType == 0 || objectType == 1;
    case kFilterPolylines: return objectType == 2 || objectType == 3;
    case kFilterPolygons: return objectType == 4 || objectType == 5;
    default: return false;
  }
}

}  // namespace kro::sif

#endif
