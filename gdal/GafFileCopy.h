// Moves a file by copying it, for where no rename can: between two file
// layers, or on a virtual system without one.
#ifndef KRO_GDAL_GAFFILECOPY_H
#define KRO_GDAL_GAFFILECOPY_H

#include "platform/FileSystem.h"

namespace kro {

// Copies `source` over `target` (created or emptied), makes the copy durable
// and then deletes the source. Not atomic: a failure part-way leaves the
// target incomplete, but the source stays until the copy is whole.
bool CopyThenDelete(FileSystem& sourceFiles, const char* source, FileSystem& targetFiles, const char* target);

}  // namespace kro

#endif
