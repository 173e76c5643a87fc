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

#include "SetInspection.h"
#include "facade/IndexRebuild.h"

namespace gaftool {

// The walks and their findings live in the inspection library.
using namespace kro::inspection;

// The names of a new set: `requested`, or when empty the data file's name
// with `suffix` before its extension. kExitOk; kExitUsage, with the reason
// printed, for a bad name or a data file that exists already.
int NewSetPaths(const std::string& requested, const std::string& dataFile, const char* suffix, SetPaths& output);

// Copies the records `order` names (indexes into source.data.records) into
// a new set at `output`, built with its spatial index and without a key
// index. `copied` gets each copied record's new position, kind, box and key,
// in copy order, for the indexes built afterwards. False, with the reason
// printed, when anything failed; the caller removes the partial set.
bool CopyRecords(const SetInspection& source, const std::vector<size_t>& order, const SetPaths& output,
                 const std::string& activity, bool quiet, std::vector<kro::IndexedRecord>& copied);

// Inspects the new set; false, with its findings printed, when it does not
// verify.
bool NewSetVerifies(const SetPaths& output);

// Deletes the three files of `set`, whichever exist.
void RemoveSet(const SetPaths& set);

}  // namespace gaftool

#endif
