// Distances along a Hilbert curve, the order that puts things near each
// other on the map near each other in a file: consecutive cells of the curve
// are neighbours on the grid, and every stretch of it covers a compact area.
#ifndef KRO_ENGINE_ORDERING_HILBERTCURVE_H
#define KRO_ENGINE_ORDERING_HILBERTCURVE_H

#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

// Distance along the curve over a grid of 2^bits x 2^bits cells of the cell
// (x, y). REQUIRES: 1 <= bits <= 32, x and y below 2^bits.
uint64_t HilbertDistance(uint32_t x, uint32_t y, uint32_t bits);

// The key of a box for ordering while the extent of all boxes is not known
// yet: the distance of its centre along the curve over the whole plane of
// doubles, each coordinate mapped to a cell by the order of its bits (sign,
// exponent, the leading 20 bits of the fraction). The mapping keeps the
// order of coordinates, so boxes near each other get near cells; cells are
// finer near the axes than far from them. A NaN centre sorts after every
// number.
uint64_t PlaneHilbertKey(const BoundingBoxNode& box);

}  // namespace kro

#endif
