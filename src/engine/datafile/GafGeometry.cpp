#include "engine/datafile/GafGeometry.h"

namespace kro {
namespace {

// x < min, else x > max: the order keeps a NaN out of an existing box.
void Widen(double value, double& low, double& high) {
  if (value < low) low = value;
  else if (value > high) high = value;
}

}  // namespace

EngineStatus CheckRingsClosed(const CKroDoublePointNode* vertices, const int32_t* ringCounts, int32_t ringCount) {
  int64_t start = 0;
  int32_t open = 0;
  for (int32_t ring = 0; ring < ringCount; ++ring) {
    const int32_t count = ringCounts[ring];
    if (count <= 0) {
      ++open;
      continue;
    }
    const CKroDoublePointNode& first = vertices[start];
    const CKroDoublePointNode& last = vertices[start + count - 1];
    if (!(first.x == last.x && first.y == last.y)) ++open;
    start += count;
  }
  return open > 0 ? eGafPolygonUnclosed : kEngineOk;
}

void ExtendFileBox(GafFileBox& box, const CKroDoublePointNode& vertex) {
  if (!box.valid) {
    box.xMin = box.xMax = vertex.x;
    box.yMin = box.yMax = vertex.y;
    box.valid = true;
    return;
  }
  Widen(vertex.x, box.xMin, box.xMax);
  Widen(vertex.y, box.yMin, box.yMax);
}

void ExtendBox(BoundingBoxNode& box, const CKroDoublePointNode& vertex) {
  Widen(vertex.x, box.xMin, box.xMax);
  Widen(vertex.y, box.yMin, box.yMax);
}

BoundingBoxNode PointBox(const CKroDoublePointNode& vertex) {
  return BoundingBoxNode{vertex.x, vertex.y, vertex.x, vertex.y};
}

BoundingBoxNode VerticesBox(const CKroDoublePointNode* vertices, size_t count) {
  if (count == 0) return BoundingBoxNode{0, 0, 0, 0};
  BoundingBoxNode box = PointBox(vertices[0]);
  for (size_t i = 1; i < count; ++i) ExtendBox(box, vertices[i]);
  return box;
}

}  // namespace kro
