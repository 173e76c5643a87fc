// Writing the records of an inspected set into a new set, record by record
// through the writing facade, in an order the caller chooses: what repair
// and sort share. The new set carries the old header values (description,
// precision, coordinate-system metadata); a correct info chunk and end
// marker come with the writer's close.
#ifndef KRO_GAFTOOL_SETCOPY_H
#define KRO_GAFTOOL_SETCOPY_H

#include <cstddef>
#include <string>
#include <vector>

#include "InspectionNames.h"
#include "fileset/CGafWriter.h"
#include "fileset/IndexRebuild.h"

namespace gaftool {

// The names of a new set: `requested`, or when empty the data file's name
// of `source` with `suffix` before its extension. kExitOk; kExitUsage, with
// the reason printed, for a bad name, a name of one of `source`'s files, or
// (without `force`) a file of the new set's names that exists already. An
// index under the new names whose data file is missing while the partial
// set's data file is there was moved into place by a run killed before its
// last move (see PutSetInPlace): it is no user's file and is replaced.
int NewSetPaths(const std::string& requested, const SetPaths& source, const char* suffix, bool force, SetPaths& output);

// What a copy does with a record the library refuses to write (a coordinate
// that is not a finite number, an open ring): the writer's refusal says why.
enum class NonFiniteRecords {
  kRefuse,  // the copy fails, saying so
  kDrop,    // the record is left out, saying so, and the copy goes on
};

// How the new set of a copy is laid out: as copied, with its spatial index
// and without a key index; or in map order, written by the writer's ordered
// export with both indexes packed (the key index when `withKeyIndex`).
struct CopyLayout {
  kro::GafSpatialOrder order = kro::GafSpatialOrder::kAsWritten;
  bool withKeyIndex = false;
};

// Copies the records `order` names (indexes into source.data.records) into
// a new set at `output`, laid out as `layout` says. As copied, `copied`
// gets each copied record's new position, kind, box and key, in copy order,
// for the indexes built afterwards (in map order it stays empty: the
// positions are the writer's); `dropped` the positions of the records left
// out. False, with the reason printed, when anything failed; the caller
// removes the partial set.
bool CopyRecords(const SetInspection& source, const std::vector<size_t>& order, const SetPaths& output,
                 const CopyLayout& layout, const std::string& activity, bool quiet, NonFiniteRecords nonFinite,
                 std::vector<kro::IndexedRecord>& copied, std::vector<uint32_t>& dropped);

// Inspects the new set; false, with its findings printed, when it does not
// verify.
bool NewSetVerifies(const SetPaths& output);

// Deletes every file a write of `set` may leave (FilesOfWrite), whichever
// exist: for a partial set whose write failed, never for a set of the user.
void RemoveSet(const SetPaths& set);

}  // namespace gaftool

#endif
