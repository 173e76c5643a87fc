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

}  // namespace kro

#endif
