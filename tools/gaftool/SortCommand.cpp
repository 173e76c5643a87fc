// gaftool sort: writes a new set with the objects of a sound set in Hilbert
// order of their box centres, and both indexes packed bottom-up, through the
// writer's ordered export (the same as an export asked to order its set). Objects near each other on the map then lie near each other in
// the data file, so a box query finds its objects in a few stretches of the
// file instead of one place per object. Record positions change, so both
// indexes are built anew; the original set is left untouched, and the new
// set appears under its name only once it is whole and verifies.
#include <cstdio>

#include "CommandSupport.h"
#include "Commands.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "SetCopy.h"
#include "InspectionNames.h"

namespace gaftool {
namespace {

struct SortOptions {
  SetArgument set;
  std::string output;
  bool force = false;
};

// Reads the set into `source` and checks it; false, after saying why, when
// it has problems.
bool InspectSoundSet(const SortOptions& options, const SetPaths& paths, SetInspection& source) {
  {
    TerminalProgress progress("checking " + paths.data, options.set.quiet);
    InspectSet(paths, false, source, &progress);
  }
  if (source.findings.Empty()) return true;
  PrintFindings(source.findings, stderr);
  std::fprintf(
      stderr,
      "gaftool: %s: the set has problems; sort copies only a sound set (gaftool repair salvages a damaged one)\n",
      paths.data.c_str());
  return false;
}

// What the sorted copy came to.
struct SortedCopy {
  size_t objects = 0;
  bool withKeyIndex = false;
};

// Checks the set and writes its sorted copy with both indexes at `output`
// through the writer's ordered export. The set's own indexes are let go
// once it is found sound. A record with a coordinate that is not a finite
// number cannot be written: the set is refused, and repair drops it.
int WriteSortedCopy(const SortOptions& options, const SetPaths& paths, const SetPaths& output, SortedCopy& sorted) {
  SetInspection source;
  if (!InspectSoundSet(options, paths, source)) return kExitProblems;
  LetIndexesGo(source);
  sorted.withKeyIndex = source.hasKeyIndex;
  std::vector<size_t> fileOrder(source.data.records.size());
  for (size_t i = 0; i < fileOrder.size(); ++i) fileOrder[i] = i;
  std::vector<kro::IndexedRecord> copied;
  std::vector<uint32_t> dropped;
  const CopyLayout layout{kro::GafSpatialOrder::kHilbert, sorted.withKeyIndex};
  if (!CopyRecords(source, fileOrder, output, layout, "sorting " + paths.data, options.set.quiet,
                   NonFiniteRecords::kRefuse, copied, dropped)) {
    return kExitProblems;
  }
  sorted.objects = fileOrder.size();
  return kExitOk;
}

// The copy is written as the partial set beside the output and moved into
// place once it verifies; whatever fails on the way takes the partial set
// with it.
int Sort(const SortOptions& options, const SetPaths& paths) {
  SetPaths output;
  const int outputState = NewSetPaths(options.output, paths, "-sorted", options.force, output);
  if (outputState != kExitOk) return outputState;
  const SetPaths partial = PartialSet(output);
  RemoveLeftoverSet(partial);
  SortedCopy sorted;
  const int written = WriteSortedCopy(options, paths, partial, sorted);
  if (written != kExitOk || !NewSetVerifies(partial) || !PutSetInPlace(partial, output, sorted.withKeyIndex)) {
    RemoveSet(partial);
    return kExitProblems;
  }
  std::printf("%s: %zu objects written in Hilbert order to %s\n", paths.data.c_str(), sorted.objects,
              output.data.c_str());
  return kExitOk;
}

}  // namespace

void AddSortCommand(CLI::App& app, int& exitCode) {
  static SortOptions options;
  CLI::App* command =
      AddSetCommand(app, "sort", "write a copy with the objects in map order, for faster box queries", options.set);
  command->add_option("--output", options.output, "the new set (default NAME-sorted.gaf)");
  command->add_flag("--force", options.force, "replace an existing output set (never the set itself)");
  command->callback([&exitCode]() {
    SetPaths paths;
    if (!ResolveSet(options.set, paths, exitCode)) return;
    exitCode = Sort(options, paths);
  });
}

}  // namespace gaftool
