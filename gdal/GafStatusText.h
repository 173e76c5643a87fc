// Readable reasons for the engine's status words, for the GDAL errors that
// name a file set and say what is wrong with it.
#ifndef KRO_GDAL_GAFSTATUSTEXT_H
#define KRO_GDAL_GAFSTATUSTEXT_H

#include <string>

#include "engine/EngineStatus.h"

namespace kro {

// "the data file is damaged (eGafBadFormat)": a phrase a user can act on,
// followed by the status word's name.
std::string DescribeStatus(EngineStatus status);

// Whether a failed write left the writer able to go on: the status of a
// per-object refusal (a parameter the record cannot hold, an open ring, a key
// too long), as opposed to a read, write or format failure.
bool IsObjectRefusal(EngineStatus status);

}  // namespace kro

#endif
