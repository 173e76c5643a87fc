#include "fileset/FacadeTestSupport.h"

#include <cstdlib>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "support/TempDir.h"

namespace kro::test {

ComPtr<IKroPolyline> Line(const std::string& key, double a, double b) {
  HostShape shape;
  shape.kind = kGafPolylineObject;
  shape.key = key;
  shape.name = "line " + key;
  shape.points = {{a, b}, {a + 1, b + 2}};
  return As<IKroPolyline>(MakeLibraryObject(shape));
}

ComPtr<IKroPoint> Point(const std::string& key, double x, double y) {
  HostShape shape;
  shape.kind = kGafPointObject;
  shape.key = key;
  shape.points = {{x, y}};
  return As<IKroPoint>(MakeLibraryObject(shape));
}

HostShape RingShapeFor(double x, double y) {
  HostShape shape;
  shape.kind = kGafPolygonObject;
  shape.key = "ring " + std::to_string(static_cast<int>(x));
  shape.points = {{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y}};
  shape.setCounts = {4};
  return shape;
}

SetCounts CountsOf(const std::string& stem) {
  SetCounts counts;
  EngineStatus status = kEngineOk;
  {
    CGafFile dataFile((stem + ".gaf").c_str(), 1, status);
    if (status == kEngineOk) counts.dataFile = dataFile.GetObjectCount();
  }
  {
    CSpatialIndex spatialIndex((stem + ".sif").c_str(), 1, status);
    if (status == kEngineOk) counts.spatialIndex = spatialIndex.GetObjectCount();
  }
  if (FileExists(stem + ".kif")) {
    CKeyIndex keyIndex((stem + ".kif").c_str(), 1, status);
    if (status == kEngineOk) counts.keyIndex = keyIndex.GetEntryCount();
  }
  return counts;
}

std::vector<uint32_t> KeyIndexPositions(const std::string& kifName, const char* key) {
  std::vector<uint32_t> positions;
  EngineStatus status = kEngineOk;
  CKeyIndex keyIndex(kifName.c_str(), 1, status);
  EXPECT_EQ(kEngineOk, status);
  EXPECT_EQ(kEngineOk, keyIndex.BeginSearch(key));
  uint32_t position = 0;
  while (keyIndex.GetNextMatch(position) == kEngineOk) positions.push_back(position);
  return positions;
}

void CreateSet(CGafWriter& writer, const std::string& stem, LONG useKif, SHORT precision) {
  ASSERT_EQ(0u, writer.Open((stem + ".gaf").c_str(), kGafCreateNew, useKif));
  ASSERT_EQ(eKroOk, writer.SetDescription("facade test"));
  ASSERT_EQ(eKroOk, writer.SetPrecision(precision));
}

void WriteLines(CGafWriter& writer, int count, int firstIndex) {
  for (int i = firstIndex; i < firstIndex + count; ++i) {
    ASSERT_EQ(eKroOk, WriteHostObject(writer, Line("k" + std::to_string(i), i % 97, i / 97).Get(), nullptr));
  }
}

std::vector<uint32_t> PassKeyNumbers(CGafReader& reader) {
  std::vector<uint32_t> numbers;
  GafRecord record;
  while (reader.Next(record) == eKroOk && record.kind == kGafPolylineObject) {
    numbers.push_back(static_cast<uint32_t>(std::strtoul(record.key.c_str() + 1, nullptr, 10)));
  }
  return numbers;
}

}  // namespace kro::test
