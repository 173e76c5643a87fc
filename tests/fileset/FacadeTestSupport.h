// Shared steps of the facade tests: geometry objects to write, and what each
// file of a set holds, read with the engines directly.
#ifndef KRO_TESTS_FACADE_FACADETESTSUPPORT_H
#define KRO_TESTS_FACADE_FACADETESTSUPPORT_H

#include <string>
#include <vector>

#include "drivers/LibraryObjects.h"
#include "fileset/CGafReader.h"
#include "drivers/HostRecord.h"
#include "fileset/CGafWriter.h"

namespace kro::test {

template <class Itf>
ComPtr<Itf> As(const ComPtr<IKroGeometry>& object) {
  ComPtr<Itf> typed;
  EXPECT_EQ(S_OK, object.As(&typed));
  return typed;
}

// A library polyline (a, b) -> (a + 1, b + 2) with the given key.
ComPtr<IKroPolyline> Line(const std::string& key, double a = 1, double b = 2);
ComPtr<IKroPoint> Point(const std::string& key, double x, double y);

// A closed four-vertex ring at (x, y) keyed "ring <x>".
HostShape RingShapeFor(double x, double y);

// Object counts of the three files of a set (read-only opens); -1 for a file
// that cannot be opened.
struct SetCounts {
  int64_t dataFile = -1;
  int64_t spatialIndex = -1;
  int64_t keyIndex = -1;
};
SetCounts CountsOf(const std::string& stem);

// Record positions the set's key index holds under `key`.
std::vector<uint32_t> KeyIndexPositions(const std::string& kifName, const char* key);

// Opens a new 64-bit set `stem`.gaf for writing with a description.
void CreateSet(CGafWriter& writer, const std::string& stem, LONG useKif = 0, SHORT precision = 64);

// Writes `count` polylines keyed "k<i>", each at its own place.
void WriteLines(CGafWriter& writer, int count, int firstIndex = 0);

// The numbers of the keys "k<i>" of the polylines a pass of `reader`
// delivers, in delivery order; every record is read. Stops at the first
// result that is not a readable polyline.
std::vector<uint32_t> PassKeyNumbers(CGafReader& reader);

}  // namespace kro::test

#endif
