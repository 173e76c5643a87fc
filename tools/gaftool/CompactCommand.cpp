// gaftool compact: rewrites both indexes without free blocks, in depth-first
// order, through the engine's own compaction. A damaged index is left alone:
// compaction copies a tree, it does not mend one. The compacted copy is
// made beside the index and moved over it when whole.
#include <cstdio>
#include <memory>
#include <new>

#include "CommandSupport.h"
#include "Commands.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "InspectionNames.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "platform/FileSystem.h"

namespace gaftool {
namespace {

// Opens the index for writing, compacts it and reports the sizes.
template <class Index>
bool CompactIndex(const std::string& file, uint64_t sizeBefore, bool quiet) {
  kro::EngineStatus status = 0;
  std::unique_ptr<Index> index(new (std::nothrow) Index(file.c_str(), kro::kOpenReadWrite, status));
  if (index == nullptr || status != kro::kEngineOk) {
    std::fprintf(stderr, "gaftool: %s: cannot open for compaction: %s\n", file.c_str(),
                 (index != nullptr ? index->ErrorFor(status) : kro::ErrorOfStatus(status, file)).Describe().c_str());
    return false;
  }
  TerminalProgress progress("compacting " + file, quiet);
  {
    const TemporaryFolderBeside copies(file);
    status = index->Compact(&progress, nullptr);
  }
  const kro::EngineError failure = index->ErrorFor(status);
  index.reset();
  if (status != kro::kEngineOk) {
    std::fprintf(stderr, "gaftool: %s: compaction failed: %s; the index is as it was\n", file.c_str(),
                 failure.Describe().c_str());
    return false;
  }
  ByteFile after;
  std::string error;
  after.Load(file, error);
  std::printf("%s: %llu -> %llu bytes, %lld saved\n", file.c_str(), static_cast<unsigned long long>(sizeBefore),
              static_cast<unsigned long long>(after.Size()),
              static_cast<long long>(sizeBefore) - static_cast<long long>(after.Size()));
  return true;
}

}  // namespace

void AddCompactCommand(CLI::App& app, int& exitCode) {
  static SetArgument argument;
  AddSetCommand(app, "compact", "rewrite both indexes without free blocks", argument)->callback([&exitCode]() {
    SetInspection set;
    if (!InspectArgument(argument, false, set, exitCode)) return;
    const SetPaths& paths = set.paths;
    // Indexes of a damaged data file are rebuilt by its repair, not kept.
    if (const Finding* damage = FirstFindingOf(set.findings, paths.data)) {
      PrintDamage(*damage, "the indexes are not compacted; gaftool repair recovers the set");
      exitCode = kExitProblems;
      return;
    }
    bool done = true;
    for (const std::string* file : {&paths.spatialIndex, &paths.keyIndex}) {
      const bool present = file == &paths.spatialIndex ? set.hasSpatialIndex : set.hasKeyIndex;
      if (!present) continue;
      if (const Finding* damage = FirstFindingOf(set.findings, *file)) {
        PrintDamage(*damage, "not compacted; gaftool reindex rebuilds it");
        done = false;
        continue;
      }
      const uint64_t size = file == &paths.spatialIndex ? set.spatial.fileSize : set.key.fileSize;
      done = (file == &paths.spatialIndex ? CompactIndex<kro::CSpatialIndex>(*file, size, argument.quiet)
                                          : CompactIndex<kro::CKeyIndex>(*file, size, argument.quiet)) &&
             done;
    }
    exitCode = done ? kExitOk : kExitProblems;
  });
}

}  // namespace gaftool
