// Shared steps of the gaftool tests: sets written through the writing
// facade with objects of every kind, the real gaftool binary run as a user
// runs it, and byte patches for the damage corpus.
#ifndef KRO_TESTS_GAFTOOL_GAFTOOLTESTSUPPORT_H
#define KRO_TESTS_GAFTOOL_GAFTOOLTESTSUPPORT_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafRecord.h"
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
  GafRecord record;
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

// Starts the gaftool binary with `args` as a child process of its own (its
// output thrown away), with TMPDIR set to `temporaryDirectory` when that is
// not empty.
pid_t StartTool(const std::vector<std::string>& args, const std::string& temporaryDirectory = "");

// Waits for `child`, killing it with SIGKILL as soon as `grown()` exceeds
// `killAt`: a kill drawn by size lands at a random place of the work
// whatever the machine's speed or load. True when the child was killed,
// false when it ended first; `status` is what waitpid gave.
bool KillWhenGrown(pid_t child, const std::function<uint64_t()>& grown, uint64_t killAt, int& status);

// The bytes of all files in `directory` and the folders in it.
uint64_t DirectoryBytes(const std::string& directory);

// "0x1A2B", as gaftool writes offsets.
std::string HexOffset(uint64_t offset);

// Offset in the data file of vertex `vertex` of `object` as WriteSampleSet
// wrote it (texts under 255 bytes).
uint64_t VertexOffset(const SampleObject& object, size_t vertex, int precision = 64);

// Byte patches.
void PatchU16(const std::string& file, uint64_t offset, uint32_t value);
void PatchU32(const std::string& file, uint64_t offset, uint32_t value);
void PatchF64(const std::string& file, uint64_t offset, double value);
void Truncate(const std::string& file, uint64_t size);
void CopySet(const std::string& fromStem, const std::string& toStem);
// Copies the set `fromStem` to `toStem` and applies `damage` to the copy's
// data file; returns that data file's name.
std::string DamagedCopy(const std::string& fromStem, const std::string& toStem,
                        const std::function<void(const std::string&)>& damage);

}  // namespace kro::test

#endif
