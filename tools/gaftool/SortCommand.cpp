// gaftool sort: writes a new set with the objects of a sound set in Hilbert
// order of their box centres, and its spatial index packed bottom-up in the
// same order. Objects near each other on the map then lie near each other in
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
#include "engine/spatialindex/SifBulkLoader.h"
#include "fileset/IndexRebuild.h"

namespace gaftool {
namespace {

struct SortOptions {
  SetArgument set;
  std::string output;
  bool force = false;
};

// Indexes into `records` in Hilbert order of the boxes' centres; records
// with equal keys keep their file order.
std::vector<size_t> HilbertOrder(const std::vector<GafRecordSummary>& records) {
  std::vector<kro::SifBulkEntry> entries;
  entries.reserve(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    entries.push_back(kro::SifBulkEntry{static_cast<uint32_t>(i), records[i].type, records[i].box});
  }
  kro::OrderForPacking(entries, kro::SifPackOrder::kHilbert);
  std::vector<size_t> order;
  order.reserve(entries.size());
  for (const kro::SifBulkEntry& e : entries) order.push_back(e.recordPosition);
  return order;
}

// The indexes of the new set, each written under a temporary name and moved
// into place when whole.
bool IndexSortedSet(const SetPaths& output, const std::vector<kro::IndexedRecord>& records, bool withKeyIndex) {
  kro::SpatialRebuild how;
  how.packed = true;
  how.order = kro::SifPackOrder::kHilbert;
  kro::EngineStatus status = kro::WriteSpatialIndex(records, output.spatialIndex, how);
  uint32_t skippedKeys = 0;
  if (status == kro::kEngineOk && withKeyIndex) status = kro::WriteKeyIndex(records, output.keyIndex, skippedKeys);
  if (status == kro::kEngineOk) return true;
  std::fprintf(stderr, "gaftool: %s: cannot build the indexes: %s\n", output.data.c_str(),
               DescribeRebuildFailure(status, output).c_str());
  return false;
}

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

// Checks the set and writes its sorted copy with both indexes at `output`.
// The set's own indexes are let go once it is found sound, and its data file
// before the new indexes are built. A record with a coordinate that is not a
// finite number cannot be written: the set is refused, and repair drops it.
int WriteSortedCopy(const SortOptions& options, const SetPaths& paths, const SetPaths& output, SortedCopy& sorted) {
  std::vector<kro::IndexedRecord> copied;
  std::vector<uint32_t> dropped;
  bool copiedAll = false;
  {
    SetInspection source;
    if (!InspectSoundSet(options, paths, source)) return kExitProblems;
    LetIndexesGo(source);
    sorted.withKeyIndex = source.hasKeyIndex;
    copiedAll = CopyRecords(source, HilbertOrder(source.data.records), output, "sorting " + paths.data,
                            options.set.quiet, NonFiniteRecords::kRefuse, copied, dropped);
  }  // the old data file is let go here
  if (!copiedAll || !IndexSortedSet(output, copied, sorted.withKeyIndex)) return kExitProblems;
  sorted.objects = copied.size();
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
