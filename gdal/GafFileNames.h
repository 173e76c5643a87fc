// The files of a Gaf file set as GDAL's virtual file layer sees them.
#ifndef KRO_GDAL_GAFFILENAMES_H
#define KRO_GDAL_GAFFILENAMES_H

#include <string>

namespace kro {

// Whether the name ends in ".gaf", in any case.
bool HasGafExtension(const char* fileName);
// The companion file `extension` ("sif" or "kif") of a data file, in upper
// case when the data file's extension is exactly "GAF", as the engine names it.
std::string CompanionName(const std::string& fileName, const char* extension);
bool FileExists(const std::string& name);
// Whether the engine can take `fileName` as the data file of a set, to read,
// or with `update` to write as well: its name fits the engine's name buffers
// and, for writing, its file system can write in place. False after a
// CPLError that says why.
bool IsUsableSetName(const char* fileName, bool update);

}  // namespace kro

#endif
