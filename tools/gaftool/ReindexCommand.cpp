// gaftool reindex: rebuilds the spatial index (and the key index) from the
// data file, by insertion in file order or, with --packed, bottom-up.
#include <cstdio>
#include <memory>
#include <new>

#include "CommandSupport.h"
#include "Commands.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "RecordDamage.h"
#include "InspectionNames.h"
#include "engine/datafile/CGafFile.h"
#include "fileset/IndexRebuild.h"
#include "platform/FileSystem.h"

namespace gaftool {
namespace {

// The data file must be whole, and every record one the library could
// write: an index rebuilt from a damaged file would only hide the damage.
bool DataFileIsSound(const SetPaths& paths, bool quiet) {
  ByteFile bytes;
  std::string error;
  if (!bytes.Load(paths.data, error)) {
    std::fprintf(stderr, "gaftool: %s\n", error.c_str());
    return false;
  }
  FindingList findings;
  ScanDataFile(bytes, paths.data, findings);
  if (findings.Empty()) return true;
  if (!quiet) PrintFindings(findings, stderr);
  PrintDamage(findings.Kept().front(), "gaftool repair recovers it");
  return false;
}

struct ReindexOptions {
  SetArgument set;
  bool packed = false;
  bool noKeyIndex = false;
  std::string order = "str";
};

// Each index is written under its rebuild name beside it and moved over it
// when whole (IndexRebuild.h); those a killed run left are removed first.
int Reindex(const ReindexOptions& options, const SetPaths& paths) {
  for (const std::string* index : {&paths.spatialIndex, &paths.keyIndex}) RemoveLeftover(*index + ".rebuild");
  if (!DataFileIsSound(paths, options.set.quiet)) return kExitProblems;
  kro::EngineStatus status = kro::kEngineOk;
  std::unique_ptr<kro::CGafFile> dataFile(new (std::nothrow)
                                              kro::CGafFile(paths.data.c_str(), kro::kOpenReadOnly, status));
  if (dataFile == nullptr || status != kro::kEngineOk) {
    std::fprintf(
        stderr, "gaftool: %s: cannot open: %s\n", paths.data.c_str(),
        (dataFile != nullptr ? dataFile->ErrorFor(status) : kro::ErrorOfStatus(status, paths.data)).Describe().c_str());
    return kExitProblems;
  }
  TerminalProgress progress("reading " + paths.data, options.set.quiet);
  std::vector<kro::IndexedRecord> records;
  status = kro::CollectIndexedRecords(*dataFile, records, &progress);
  const std::string readFailure = status != kro::kEngineOk ? dataFile->ErrorFor(status).Describe() : std::string();
  dataFile.reset();
  kro::SpatialRebuild how;
  how.packed = options.packed;
  how.order = options.order == "hilbert" ? kro::SifPackOrder::kHilbert : kro::SifPackOrder::kSortTileRecursive;
  if (status == kro::kEngineOk) status = kro::WriteSpatialIndex(records, paths.spatialIndex, how);
  uint32_t skippedKeys = 0;
  if (status == kro::kEngineOk && !options.noKeyIndex)
    status = kro::WriteKeyIndex(records, paths.keyIndex, skippedKeys);
  if (status != kro::kEngineOk) {
    std::fprintf(stderr, "gaftool: %s: rebuild failed: %s; the old indexes are in place\n", paths.data.c_str(),
                 (readFailure.empty() ? DescribeRebuildFailure(status, paths) : readFailure).c_str());
    return kExitProblems;
  }
  std::printf(
      "%s: %zu objects indexed%s\n", paths.spatialIndex.c_str(), records.size(),
      options.packed ? (options.order == "hilbert" ? ", packed in Hilbert order" : ", packed in STR order") : "");
  if (!options.noKeyIndex) {
    std::printf("%s: %zu keys indexed", paths.keyIndex.c_str(), records.size() - skippedKeys);
    if (skippedKeys > 0) std::printf(", %u keys longer than the key length left out", skippedKeys);
    std::printf("\n");
  }
  return kExitOk;
}

}  // namespace

void AddReindexCommand(CLI::App& app, int& exitCode) {
  static ReindexOptions options;
  CLI::App* command = AddSetCommand(app, "reindex", "rebuild the .sif and .kif from the data file", options.set);
  command->add_flag("--packed", options.packed, "bulk-load the .sif bottom-up (fuller nodes, faster queries)");
  command->add_option("--order", options.order, "order of a packed load: str (Sort-Tile-Recursive) or hilbert")
      ->check(CLI::IsMember({"str", "hilbert"}));
  command->add_flag("--no-kif", options.noKeyIndex, "leave the key index alone");
  command->callback([&exitCode]() {
    SetPaths paths;
    if (!ResolveSet(options.set, paths, exitCode)) return;
    exitCode = Reindex(options, paths);
  });
}

}  // namespace gaftool
