// What the crash, disk-full and fault tests of writing promise about a set:
// it holds exactly a known run of objects, each found by its key and by its
// box, and both indexes verify; or its files are byte for byte what they
// were before the writer started.
#ifndef KRO_TESTS_FACADE_SETINTEGRITY_H
#define KRO_TESTS_FACADE_SETINTEGRITY_H

#include <array>
#include <string>

#include "fileset/CGafWriter.h"
#include "support/TempDir.h"

namespace kro::test {

// The bytes of a set's data file, spatial index and key index; a missing
// file reads as no bytes and `present` false.
struct SetSnapshot {
  std::array<Bytes, 3> files;
  std::array<bool, 3> present{};
  bool operator==(const SetSnapshot& other) const { return files == other.files && present == other.present; }
};
SetSnapshot TakeSnapshot(const std::string& stem);
// Writes the snapshot back; a file absent from it is deleted, and so is a
// journal beside the set.
void RestoreSnapshot(const std::string& stem, const SetSnapshot& snapshot);
std::string JournalOf(const std::string& stem);

// Object `i` of the runs these tests write: an eight-vertex polyline keyed
// "k<i>" in a cell of its own.
BoundingBoxNode ObjectBox(int i);
// Writes objects first .. first + count - 1; the first answer that is not
// eKroOk, else eKroOk.
EKroErrCode WriteObjects(CGafWriter& writer, int first, int count);
// Creates (kGafCreateNew) or appends to (kGafOpenAppend) `stem`.gaf with a
// key index, writes the objects and finishes: the writer's final answer.
EKroErrCode WriteRun(const std::string& stem, EKroGafOpenFlags mode, int first, int count,
                     Env& env = Env::Default());

// "" when the set opens read-only and holds exactly objects 0 .. count - 1,
// each found once by its key and among the hits of its box, and both
// indexes verify; otherwise what is wrong.
std::string CheckSetHolds(const std::string& stem, int count, Env& env = Env::Default());
// The set's object count after a read-only open, or -1 when it is refused.
int OpenCount(const std::string& stem, Env& env = Env::Default());

}  // namespace kro::test

#endif
