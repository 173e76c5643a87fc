// Shared steps of the gaftool tests: sets written through the writing
// facade with objects of every kind, the real gaftool binary run as a user
// runs it, and byte patches for the damage corpus.
#ifndef KRO_TESTS_GAFTOOL_GAFTOOLTESTSUPPORT_H
#define KRO_TESTS_GAFTOOL_GAFTOOLTESTSUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "facade/ObjectContents.h"
#include "support/TempDir.h"

namespace kro::test {

// The sanitizer build runs every file call several times slower; the
// heaviest tests scale their counts by this.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4;
#else
constexpr int kScale = 1;
#endif

struct SampleObject {
  EGafObjectType type = kGafPointObject;
  ObjectTexts texts;
  ObjectVertices vertices;
  BoundingBoxNode box{};
  uint32_t position = 0;  // filled by WriteSampleSet
};

// `count` objects cycling through all six kinds, at places drawn from
// `seed`, keyed "k<i>", named "object <i>".
std::vector<SampleObject> SampleObjects(int count, unsigned seed);

// Writes a new set; true when every object and Finish succeeded. Fills in
// each object's record position.
bool WriteSampleSet(const std::string& dataFile, std::vector<SampleObject>& objects, LONG useKif = -1,
                    SHORT precision = 64);

struct ToolRun {
  int exitCode = -1;  // 128 + signal when the tool died of one
  std::string out;
  std::string err;
};

// Runs the gaftool binary with `args` (no shell quoting needed).
ToolRun RunTool(const std::vector<std::string>& args);

// Byte patches.
void PatchU16(const std::string& file, uint64_t offset, uint32_t value);
void PatchU32(const std::string& file, uint64_t offset, uint32_t value);
void Truncate(const std::string& file, uint64_t size);
void CopySet(const std::string& fromStem, const std::string& toStem);

}  // namespace kro::test

#endif
