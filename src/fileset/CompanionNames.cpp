#include "fileset/CompanionNames.h"

#include <cstring>
#include <new>

#include "platform/FileSystem.h"
#include "platform/MultiByte.h"

namespace kro {
namespace {

constexpr size_t kExtensionBytes = 4;  // ".gaf"

// ASCII letters only: in UTF-8 no byte of a multi-byte character is below
// 0x80, so a byte-wise comparison never matches inside such a character.
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsDataFileExtension(const char* extension, size_t length) {
  if (length != kExtensionBytes) return false;
  const char* expected = ".gaf";
  for (size_t i = 0; i < kExtensionBytes; ++i) {
    if (LowerAscii(extension[i]) != expected[i]) return false;
  }
  return true;
}

}  // namespace

EngineStatus DeriveCompanionNames(const char* dataFileName, CompanionNames& names) {
  const size_t length = BoundedLength(dataFileName, kMaxPathBytes);
  if (length >= kMaxPathBytes) return eGafCannotOpen;
  const char* lastDot = std::strrchr(dataFileName, '.');
  if (lastDot == nullptr) return eGafNotAGaf;
  const size_t stemLength = static_cast<size_t>(lastDot - dataFileName);
  if (!IsDataFileExtension(lastDot, length - stemLength)) return eGafNotAGaf;

  const bool upperCase = std::strcmp(lastDot, ".GAF") == 0;
  try {
    const std::string stem(dataFileName, stemLength);
    CompanionNames derived;
    derived.spatialIndex = stem + (upperCase ? ".SIF" : ".sif");
    derived.keyIndex = stem + (upperCase ? ".KIF" : ".kif");
    names = std::move(derived);
  } catch (const std::bad_alloc&) {
    return eGafOutOfMemory;
  }
  return kEngineOk;
}

}  // namespace kro
