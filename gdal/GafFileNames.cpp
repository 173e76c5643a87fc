#include "GafFileNames.h"

#include "cpl_conv.h"
#include "cpl_string.h"
#include "cpl_vsi.h"

namespace kro {

bool HasGafExtension(const char* fileName) { return EQUAL(CPLGetExtension(fileName), "gaf"); }

std::string CompanionName(const std::string& fileName, const char* extension) {
  const bool upper = std::string(CPLGetExtension(fileName.c_str())) == "GAF";
  return CPLResetExtension(fileName.c_str(), upper ? CPLString(extension).toupper().c_str() : extension);
}

bool FileExists(const std::string& name) {
  VSIStatBufL stat;
  return VSIStatL(name.c_str(), &stat) == 0;
}

}  // namespace kro
