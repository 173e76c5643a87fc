// Ring check and boxes, with exact IEEE comparisons; the parts of a record.
#include "engine/datafile/GafGeometry.h"
#include "engine/datafile/GafRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kro {
namespace {

EngineStatus Ring(std::vector<CKroDoublePointNode> vertices) {
  const int32_t count = static_cast<int32_t>(vertices.size());
  return CheckRingsClosed(vertices.data(), &count, 1);
}

TEST(GafGeometry, RingCheckIsExact) {
  EXPECT_EQ(Ring({{0, 0}, {1, 0}, {1, 1}, {0, 0}}), kEngineOk);
  EXPECT_EQ(Ring({{0, 0}, {1, 0}, {1, 1}, {0, 1E-300}}), eGafPolygonUnclosed);
  EXPECT_EQ(Ring({{0, 0}, {1, 0}, {1, 1}, {std::nextafter(0.0, 1.0), 0}}), eGafPolygonUnclosed);
  EXPECT_EQ(Ring({{-0.0, 0}, {1, 0}, {0.0, 0}}), kEngineOk) << "negative and positive zero are equal";
  EXPECT_EQ(Ring({{NAN, 0}, {1, 0}, {NAN, 0}}), eGafPolygonUnclosed) << "NaN equals nothing";
  EXPECT_EQ(Ring({{3, 4}}), kEngineOk) << "one vertex is closed";
  EXPECT_EQ(Ring({}), eGafPolygonUnclosed) << "no vertex has no ends";
}

TEST(GafGeometry, EveryRingOfAListIsChecked) {
  const std::vector<CKroDoublePointNode> v{{0, 0}, {1, 0}, {0, 0}, {5, 5}, {6, 6}, {5, 5}, {9, 9}};
  const int32_t closed[] = {3, 3, 1};
  EXPECT_EQ(CheckRingsClosed(v.data(), closed, 3), kEngineOk);
  const int32_t shifted[] = {2, 4, 1};
  EXPECT_EQ(CheckRingsClosed(v.data(), shifted, 3), eGafPolygonUnclosed);
  const int32_t empty[] = {3, 0, 3};
  EXPECT_EQ(CheckRingsClosed(v.data(), empty, 3), eGafPolygonUnclosed);
  EXPECT_EQ(CheckRingsClosed(nullptr, nullptr, 0), kEngineOk) << "no rings";
}

TEST(GafGeometry, Boxes) {
  GafFileBox file;
  EXPECT_FALSE(file.valid);
  BoundingBoxNode box = PointBox({5, 5});
  ExtendFileBox(file, {5, 5});
  for (CKroDoublePointNode v : {CKroDoublePointNode{1, 9}, CKroDoublePointNode{7, 2}}) {
    ExtendBox(box, v);
    ExtendFileBox(file, v);
  }
  EXPECT_EQ(box.xMin, 1);
  EXPECT_EQ(box.yMin, 2);
  EXPECT_EQ(box.xMax, 7);
  EXPECT_EQ(box.yMax, 9);
  EXPECT_TRUE(file.valid);
  EXPECT_EQ(file.xMin, 1);
  EXPECT_EQ(file.yMax, 9);

  ExtendBox(box, {NAN, NAN});
  EXPECT_EQ(box.xMin, 1) << "NaN changes nothing in an existing box";
  GafFileBox first;
  ExtendFileBox(first, {NAN, 1});
  EXPECT_TRUE(std::isnan(first.xMin)) << "but is copied as the very first vertex";
}

// Every kind is walked the same way; a hand-made record whose parts claim
// more vertices than it has yields only those it has.
TEST(GafParts, PartsWalkEveryKindAndStayInsideTheVertices) {
  GafRecord record = SinglePartRecord(kGafPolylineObject, {{0, 0}, {1, 1}, {2, 2}});
  std::vector<size_t> counts;
  for (const GafPart part : Parts(record)) counts.push_back(part.count);
  EXPECT_EQ(counts, (std::vector<size_t>{3}));
  record.parts = {1, 5, -2, 1};
  counts.clear();
  std::vector<double> firsts;
  for (const GafPart part : Parts(record)) {
    counts.push_back(part.count);
    if (part.count > 0) firsts.push_back(part.begin()->x);
  }
  EXPECT_EQ(counts, (std::vector<size_t>{1, 2, 0, 0}));
  EXPECT_EQ(firsts, (std::vector<double>{0, 1}));
  record.Clear(kGafPolyPolygonObject);
  EXPECT_EQ(Parts(record).size(), 0u);
  EXPECT_FALSE(Parts(record).begin() != Parts(record).end());
}

}  // namespace
}  // namespace kro
