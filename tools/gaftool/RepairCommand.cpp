// gaftool repair: recovers what a writer that died left behind. Every
// complete, valid object record up to the first damage is copied, in order,
// into a new set with the old header values (a correct info chunk and end
// marker come with it), and both indexes are built for it. A record with a
// coordinate that is not a finite number cannot be written and is dropped.
// The report says how many records were kept and dropped, and from which
// offset on the rest is lost. The damaged set is left untouched unless
// --in-place, which replaces it only after the new set verifies.
#include <cstdio>
#include <memory>
#include <new>

#include "CommandSupport.h"
#include "Commands.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "SetCopy.h"
#include "InspectionNames.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "fileset/IndexRebuild.h"
#include "platform/FileSystem.h"

namespace gaftool {
namespace {

struct RepairOptions {
  SetArgument set;
  std::string output;
  bool inPlace = false;
  bool force = false;
};

// What the repair kept and what it left out.
struct Recovery {
  size_t kept = 0;
  std::vector<uint32_t> nonFinite;  // positions of records dropped for their coordinates
  size_t afterDamage = 0;           // records the walk found past the first damage
};

// Writes the kept records into a new set at `output`; the key index is built
// afterwards from the new positions, so that keys too long for it do not
// cost their objects.
bool WriteRecoveredSet(const SetInspection& damaged, const SetPaths& output, bool withKeyIndex, bool quiet,
                       Recovery& recovery) {
  std::vector<size_t> order;
  const std::vector<GafRecordSummary>& records = damaged.data.records;
  while (order.size() < records.size() && records[order.size()].position < damaged.data.firstDamage) {
    order.push_back(order.size());
  }
  recovery.afterDamage = records.size() - order.size();
  std::vector<kro::IndexedRecord> keys;
  if (!CopyRecords(damaged, order, output, CopyLayout{}, "repairing " + damaged.paths.data, quiet, NonFiniteRecords::kDrop, keys,
                   recovery.nonFinite)) {
    return false;
  }
  recovery.kept = keys.size();
  uint32_t skipped = 0;
  const kro::EngineStatus status = withKeyIndex ? kro::WriteKeyIndex(keys, output.keyIndex, skipped) : kro::kEngineOk;
  if (status != kro::kEngineOk) {
    std::fprintf(stderr, "gaftool: %s: cannot build the key index: %s\n", output.keyIndex.c_str(),
                 DescribeRebuildFailure(status, output).c_str());
    return false;
  }
  return true;
}

// "SET: K records kept, D dropped (...); the header counted N objects".
void PrintRecovery(const SetInspection& damaged, const Recovery& recovery) {
  const size_t dropped = recovery.nonFinite.size() + recovery.afterDamage;
  std::printf("%s: %zu records kept, %zu dropped", damaged.paths.data.c_str(), recovery.kept, dropped);
  if (dropped > 0) {
    std::printf(" (%zu with coordinates that are not finite numbers, %zu past the damage)", recovery.nonFinite.size(),
                recovery.afterDamage);
  }
  if (damaged.data.firstDamage < damaged.data.fileSize) {
    std::printf("; everything from offset %s on is lost", Hex(damaged.data.firstDamage).c_str());
  }
  std::printf("; the header counted %u objects", damaged.data.header.objectCount);
}

// The set the repair writes: the damaged set itself with --in-place, else
// the output named or NAME-repaired.gaf. kExitOk or the usage status.
int RepairTarget(const RepairOptions& options, const SetPaths& paths, SetPaths& target) {
  if (!options.inPlace) return NewSetPaths(options.output, paths, "-repaired", options.force, target);
  target = paths;
  return kExitOk;
}

// The recovered set is written as the partial set beside its target, and
// moved into place only once it verifies, over the damaged set's own files
// with --in-place; whatever fails on the way takes the partial set with it.
int Repair(const RepairOptions& options, const SetPaths& paths) {
  SetPaths target;
  const int targetState = RepairTarget(options, paths, target);
  if (targetState != kExitOk) return targetState;
  const SetPaths partial = PartialSet(target);
  RemoveLeftoverSet(partial);
  SetInspection damaged;
  {
    TerminalProgress progress("checking " + paths.data, options.set.quiet);
    InspectSet(paths, false, damaged, &progress);
  }
  if (!damaged.dataBytes.Exists()) {
    PrintFindings(damaged.findings, stderr);
    return kExitProblems;
  }
  // The journal would roll the set's files back at the next open: over new
  // files it would put old bytes into them.
  if (options.inPlace && damaged.findings.HasKind("set.journal-pending")) {
    std::fprintf(stderr, "gaftool: %s: a writer's journal lies beside the set; open the set once through the library "
                         "(gaftool dump) to roll it back, or repair it with --output\n", paths.data.c_str());
    return kExitProblems;
  }
  LetIndexesGo(damaged);
  Recovery recovery;
  const bool withKeyIndex = damaged.hasKeyIndex;
  if (!WriteRecoveredSet(damaged, partial, withKeyIndex, options.set.quiet, recovery) || !NewSetVerifies(partial) ||
      !PutSetInPlace(partial, target, withKeyIndex)) {
    RemoveSet(partial);
    return kExitProblems;
  }
  PrintRecovery(damaged, recovery);
  if (options.inPlace) {
    std::printf("; the set is replaced\n");
  } else {
    std::printf("; the repaired set is %s\n", target.data.c_str());
  }
  return kExitOk;
}

}  // namespace

void AddRepairCommand(CLI::App& app, int& exitCode) {
  static RepairOptions options;
  CLI::App* command = AddSetCommand(app, "repair", "recover the complete records of a damaged set", options.set);
  CLI::Option* output = command->add_option("--output", options.output, "the new set (default NAME-repaired.gaf)");
  CLI::Option* force =
      command->add_flag("--force", options.force, "replace an existing output set (never the damaged set itself)");
  command->add_flag("--in-place", options.inPlace, "replace the damaged set once the new one verifies")
      ->excludes(output)
      ->excludes(force);
  command->callback([&exitCode]() {
    SetPaths paths;
    if (!ResolveSet(options.set, paths, exitCode)) return;
    exitCode = Repair(options, paths);
  });
}

}  // namespace gaftool
