#include "GafRingRoles.h"

#include <algorithm>

namespace kro {
namespace {

// The coordinate as a set of `precisionBits` stores it.
double Stored(double value, uint32_t precisionBits) {
  return precisionBits == 32 ? static_cast<double>(static_cast<float>(value)) : value;
}

// Twice the signed area of the ring as stored.
double StoredRingArea(const CKroDoublePointNode* points, size_t count, uint32_t precisionBits) {
  if (count < 3) return 0;
  const double x0 = Stored(points[0].x, precisionBits);
  const double y0 = Stored(points[0].y, precisionBits);
  // The terms of the first and the closing edge vanish: they touch the origin.
  double sum = 0;
  double previousX = Stored(points[1].x, precisionBits) - x0;
  double previousY = Stored(points[1].y, precisionBits) - y0;
  for (size_t i = 2; i < count; ++i) {
    const double x = Stored(points[i].x, precisionBits) - x0;
    const double y = Stored(points[i].y, precisionBits) - y0;
    sum += previousX * y - x * previousY;
    previousX = x;
    previousY = y;
  }
  return sum;
}

int Order(double a, double b) { return a > b ? 1 : a < b ? -1 : 0; }

// Lexicographic, x then y, on the stored coordinates.
int Compare(const CKroDoublePointNode& a, const CKroDoublePointNode& b, uint32_t precisionBits) {
  const int x = Order(Stored(a.x, precisionBits), Stored(b.x, precisionBits));
  return x != 0 ? x : Order(Stored(a.y, precisionBits), Stored(b.y, precisionBits));
}

}  // namespace

int StoredRingOrientation(const CKroDoublePointNode* points, size_t count, uint32_t precisionBits) {
  if (count < 4) return 0;
  const int byArea = Order(StoredRingArea(points, count, precisionBits), 0);
  return byArea != 0 ? byArea : Compare(points[count - 2], points[1], precisionBits);
}

int ExteriorOrientation(int firstOrientation) { return firstOrientation != 0 ? firstOrientation : 1; }

void OrientRing(CKroDoublePointNode* points, size_t count, int orientation, uint32_t precisionBits) {
  if (StoredRingOrientation(points, count, precisionBits) == -orientation) std::reverse(points + 1, points + count - 1);
}

std::vector<size_t> PolygonStartsByOrientation(const int32_t* setCounts, size_t setCount,
                                               const CKroDoublePointNode* points, uint32_t precisionBits) {
  std::vector<size_t> starts;
  int exterior = 0;
  const CKroDoublePointNode* ring = points;
  for (size_t i = 0; i < setCount; ring += setCounts[i], ++i) {
    const int orientation = StoredRingOrientation(ring, static_cast<size_t>(setCounts[i]), precisionBits);
    if (i == 0) exterior = ExteriorOrientation(orientation);
    if (i == 0 || orientation == exterior) starts.push_back(i);
  }
  return starts;
}

}  // namespace kro
