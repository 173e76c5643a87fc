#include "GafFileNames.h"

#include "GafFileRouter.h"
#include "cpl_conv.h"
#include "cpl_string.h"
#include "cpl_vsi.h"
#include "platform/FileSystem.h"

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

bool IsUsableSetName(const char* fileName, bool update) {
  const size_t length = strlen(fileName);
  if (length >= kMaxPathBytes) {
    CPLError(CE_Failure, CPLE_NotSupported, "%s: the name is %zu bytes long; a Gaf file set's names take at most %u",
             fileName, length, kMaxPathBytes - 1);
    return false;
  }
  // Plain names keep the engine's own refusals, which name the cause.
  if (update && IsVirtualFileName(fileName) && !VSISupportsRandomWrite(fileName, false)) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "%s: this file system cannot write a file in place; a Gaf file set on it opens read-only", fileName);
    return false;
  }
  return true;
}

}  // namespace kro
