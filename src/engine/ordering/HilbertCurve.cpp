#include "engine/ordering/HilbertCurve.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace kro {
namespace {

// The leading 32 bits of a double in an unsigned form that sorts as the
// numbers do: negative numbers have all bits flipped, the others the sign
// bit set. -0 and +0 meet at the middle.
uint32_t OrderedBits(double value) {
  if (std::isnan(value)) return UINT32_MAX;
  if (value == 0) value = 0;  // -0 sorts with +0
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
  return static_cast<uint32_t>(bits >> 32);
}

}  // namespace

uint64_t HilbertDistance(uint32_t x, uint32_t y, uint32_t bits) {
  const uint64_t side = uint64_t{1} << bits;
  uint64_t distance = 0;
  for (uint64_t s = side / 2; s > 0; s /= 2) {
    const uint64_t rx = (x & s) != 0 ? 1 : 0;
    const uint64_t ry = (y & s) != 0 ? 1 : 0;
    distance += s * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        x = static_cast<uint32_t>(side - 1 - x);
        y = static_cast<uint32_t>(side - 1 - y);
      }
      std::swap(x, y);
    }
  }
  return distance;
}

uint64_t PlaneHilbertKey(const BoundingBoxNode& box) {
  const double x = (box.xMin + box.xMax) / 2;
  const double y = (box.yMin + box.yMax) / 2;
  return HilbertDistance(OrderedBits(x), OrderedBits(y), 32);
}

}  // namespace kro
