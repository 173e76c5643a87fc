// Rebuilding the spatial index of a one-million-object set from its data
// file, packed bottom-up (what "gaftool reindex --packed" does) and by
// insertion in file order, and ten thousand random one-degree box queries
// against the index the writer built by insertion and against the packed one.
// Every step runs once on the same set and reports wall-clock time, since the
// work is mostly file access.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "engine/datafile/CGafFile.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafWriter.h"
#include "fileset/IndexRebuild.h"

namespace {

constexpr int kObjects = 1000000;
constexpr int kQueries = 10000;

// A folder of its own holding the set and the rebuilt indexes.
class BenchmarkSet {
 public:
  BenchmarkSet() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kro-reindex-bench-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) directory_ = pattern;
  }
  ~BenchmarkSet() {
    for (const char* name : {"set.gaf", "set.sif", "packed.sif", "inserted.sif"}) ::unlink(File(name).c_str());
    ::rmdir(directory_.c_str());
  }
  std::string File(const char* name) const { return directory_ + "/" + name; }

  // Writes the set once: short polylines all over the world, 64-bit, with
  // the spatial index the writer builds by insertion.
  bool Build() {
    if (built_) return true;
    kro::CGafWriter writer;
    if (writer.Open(File("set.gaf").c_str(), kGafCreateNew, 0) != eKroOk) return false;
    writer.SetPrecision(64);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> x(-180.0, 179.5);
    std::uniform_real_distribution<double> y(-90.0, 89.5);
    std::uniform_real_distribution<double> step(0.0, 0.5);
    kro::GafRecord record = kro::SinglePartRecord(kGafPolylineObject, std::vector<CKroDoublePointNode>(2));
    for (int i = 0; i < kObjects; ++i) {
      record.key = "k" + std::to_string(i);
      const double x0 = x(random), y0 = y(random);
      record.vertices = {{x0, y0}, {x0 + step(random), y0 + step(random)}};
      if (writer.Write(record, nullptr) != eKroOk) return false;
    }
    built_ = writer.Finish() == eKroOk;
    return built_;
  }

 private:
  std::string directory_;
  bool built_ = false;
};

BenchmarkSet& Set() {
  static BenchmarkSet set;
  return set;
}

void Rebuild(benchmark::State& state, bool packed, const char* target) {
  if (!Set().Build()) {
    state.SkipWithError("cannot write the set");
    return;
  }
  for (auto _ : state) {
    kro::EngineStatus status = kro::kEngineOk;
    std::vector<kro::IndexedRecord> records;
    {
      kro::CGafFile dataFile(Set().File("set.gaf").c_str(), kro::kOpenReadOnly, status);
      if (status == kro::kEngineOk) status = kro::CollectIndexedRecords(dataFile, records);
    }
    kro::SpatialRebuild how;
    how.packed = packed;
    if (status == kro::kEngineOk) status = kro::WriteSpatialIndex(records, Set().File(target), how);
    if (status != kro::kEngineOk) state.SkipWithError(kro::StatusName(status));
    state.counters["objects"] = static_cast<double>(records.size());
  }
  state.SetItemsProcessed(kObjects);
}

void BM_ReindexPacked(benchmark::State& state) { Rebuild(state, true, "packed.sif"); }
void BM_ReindexInserted(benchmark::State& state) { Rebuild(state, false, "inserted.sif"); }

// The same ten thousand boxes against either index.
void Query(benchmark::State& state, const char* index) {
  if (!Set().Build()) {
    state.SkipWithError("cannot write the set");
    return;
  }
  kro::EngineStatus status = kro::kEngineOk;
  kro::CSpatialIndex sif(Set().File(index).c_str(), kro::kOpenReadOnly, status);
  if (status != kro::kEngineOk) {
    state.SkipWithError("run BM_ReindexPacked first");
    return;
  }
  uint64_t hits = 0;
  for (auto _ : state) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(-180.0, 179.0);
    std::uniform_real_distribution<double> y(-90.0, 89.0);
    for (int q = 0; q < kQueries; ++q) {
      const double x0 = x(random), y0 = y(random);
      sif.BeginSearch(BoundingBoxNode{x0, y0, x0 + 1, y0 + 1}, 0, false);
      uint32_t position = 0, type = 0;
      BoundingBoxNode box{};
      while (sif.GetNextHit(position, type, box) == kro::kEngineOk) ++hits;
    }
  }
  state.counters["hits"] = static_cast<double>(hits);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kQueries);
}

void BM_BoxQueriesInserted(benchmark::State& state) { Query(state, "set.sif"); }
void BM_BoxQueriesPacked(benchmark::State& state) { Query(state, "packed.sif"); }

BENCHMARK(BM_ReindexPacked)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReindexInserted)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BoxQueriesInserted)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BoxQueriesPacked)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
