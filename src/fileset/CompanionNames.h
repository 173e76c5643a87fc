// The three file names of a file set, all derived from the data file's name:
// the last extension of the whole name must be ".gaf" in any mix of case and
// is replaced by ".sif" and ".kif", or by ".SIF" and ".KIF" when it was
// exactly ".GAF". Every name must fit the engine's name buffers of
// kMaxPathBytes bytes with their terminator.
#ifndef KRO_FILESET_COMPANIONNAMES_H
#define KRO_FILESET_COMPANIONNAMES_H

#include <string>

#include "engine/EngineStatus.h"

namespace kro {

struct CompanionNames {
  std::string spatialIndex;
  std::string keyIndex;
};

// Fills `names` from `dataFileName` (zero-terminated, not null) and returns 0;
// eGafCannotOpen for a name of kMaxPathBytes bytes or more, eGafNotAGaf for a
// name whose last "." does not start the extension ".gaf" (a "." inside a
// directory name included). `names` is left alone on failure.
EngineStatus DeriveCompanionNames(const char* dataFileName, CompanionNames& names);

}  // namespace kro

#endif
