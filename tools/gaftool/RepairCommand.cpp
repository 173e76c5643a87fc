// gaftool repair: recovers what a writer that died left behind. Every
// complete, valid object record up to the first damage is copied, in order,
// into a new set with the old header values (a correct info chunk and end
// marker come with it), and both indexes are built for it. The damaged set
// is left untouched unless --in-place, which replaces it only after the new
// set verifies.
#include <cstdio>
#include <memory>
#include <new>

#include "CommandSupport.h"
#include "Commands.h"
#include "Progress.h"
#include "SetCopy.h"
#include "SetInspection.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "facade/IndexRebuild.h"
#include "platform/FileSystem.h"

namespace gaftool {
namespace {

struct RepairOptions {
  SetArgument set;
  std::string output;
  bool inPlace = false;
};

// Writes the kept records into a new set at `output`; the key index is built
// afterwards from the new positions, so that keys too long for it do not
// cost their objects.
bool WriteRecoveredSet(const SetInspection& damaged, const SetPaths& output, bool withKeyIndex, bool quiet,
                       size_t& kept) {
  std::vector<size_t> order;
  const std::vector<GafRecordSummary>& records = damaged.data.records;
  while (order.size() < records.size() && records[order.size()].position < damaged.data.firstDamage) {
    order.push_back(order.size());
  }
  std::vector<kro::IndexedRecord> keys;
  if (!CopyRecords(damaged, order, output, "repairing " + damaged.paths.data, quiet, keys)) return false;
  kept = keys.size();
  uint32_t skipped = 0;
  if (withKeyIndex && kro::WriteKeyIndex(keys, output.keyIndex, skipped) != kro::kEngineOk) {
    std::fprintf(stderr, "gaftool: %s: cannot build the key index\n", output.keyIndex.c_str());
    return false;
  }
  return true;
}

// Moves the three files of `from` over those of `to`; the data file last, so
// that until then the old data file stands.
bool ReplaceSet(const SetPaths& from, const SetPaths& to, bool withKeyIndex) {
  bool moved = kro::CGafRawFile::Replace(from.spatialIndex.c_str(), to.spatialIndex.c_str());
  if (withKeyIndex) moved = moved && kro::CGafRawFile::Replace(from.keyIndex.c_str(), to.keyIndex.c_str());
  return moved && kro::CGafRawFile::Replace(from.data.c_str(), to.data.c_str());
}

int Repair(const RepairOptions& options, const SetPaths& paths) {
  SetPaths output;
  const int outputState = NewSetPaths(options.output, paths.data, options.inPlace ? "-repairing" : "-repaired", output);
  if (outputState != kExitOk) return outputState;
  SetInspection damaged;
  {
    TerminalProgress progress("checking " + paths.data, options.set.quiet);
    InspectSet(paths, false, damaged, &progress);
  }
  if (!damaged.dataBytes.Exists()) {
    PrintFindings(damaged.findings, stderr);
    return kExitProblems;
  }
  LetIndexesGo(damaged);
  size_t kept = 0;
  const bool withKeyIndex = damaged.hasKeyIndex;
  if (!WriteRecoveredSet(damaged, output, withKeyIndex, options.set.quiet, kept)) {
    RemoveSet(output);
    return kExitProblems;
  }
  if (!NewSetVerifies(output)) {
    if (options.inPlace) RemoveSet(output);
    return kExitProblems;
  }
  std::printf("%s: %zu objects recovered", paths.data.c_str(), kept);
  if (damaged.data.firstDamage < damaged.data.fileSize) {
    std::printf(", the rest dropped from offset %s on", Hex(damaged.data.firstDamage).c_str());
  }
  if (options.inPlace) {
    if (!ReplaceSet(output, paths, withKeyIndex)) {
      std::printf("\n");
      std::fprintf(stderr, "gaftool: cannot put %s in place of %s\n", output.data.c_str(), paths.data.c_str());
      return kExitProblems;
    }
    std::printf("; the set is replaced\n");
  } else {
    std::printf("; the repaired set is %s\n", output.data.c_str());
  }
  return kExitOk;
}

}  // namespace

void AddRepairCommand(CLI::App& app, int& exitCode) {
  static RepairOptions options;
  CLI::App* command = AddSetCommand(app, "repair", "recover the complete records of a damaged set", options.set);
  CLI::Option* output = command->add_option("--output", options.output, "the new set (default NAME-repaired.gaf)");
  command->add_flag("--in-place", options.inPlace, "replace the damaged set once the new one verifies")->excludes(output);
  command->callback([&exitCode]() {
    SetPaths paths;
    if (!ResolveSet(options.set, paths, exitCode)) return;
    exitCode = Repair(options, paths);
  });
}

}  // namespace gaftool
