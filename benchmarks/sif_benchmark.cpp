// Spatial index throughput: one million small random boxes inserted into a
// new index over the world extent (-180..180, -90..90), then ten thousand
// random one-degree box queries over it. Both run once (the insertion builds
// the file the queries read) and report rates in wall-clock time, since the
// work is mostly file access.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "engine/spatialindex/CSpatialIndex.h"

namespace {

constexpr int kInsertions = 1000000;
constexpr int kQueries = 10000;

// A directory of its own for the index file, removed at exit.
class BenchmarkFile {
 public:
  BenchmarkFile() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kro-sif-bench-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) directory_ = pattern;
    path_ = directory_ + "/bench.sif";
  }
  ~BenchmarkFile() {
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
  }
  const std::string& Path() const { return path_; }
  bool built = false;

 private:
  std::string directory_;
  std::string path_;
};

BenchmarkFile& File() {
  static BenchmarkFile file;
  return file;
}

BoundingBoxNode RandomSmallBox(std::mt19937& random) {
  std::uniform_real_distribution<double> x(-180.0, 179.9);
  std::uniform_real_distribution<double> y(-90.0, 89.9);
  std::uniform_real_distribution<double> size(0.0, 0.1);
  const double xMin = x(random);
  const double yMin = y(random);
  return BoundingBoxNode{xMin, yMin, xMin + size(random), yMin + size(random)};
}

// Inserts the million boxes; false (with the status reported) on failure.
bool BuildIndex(benchmark::State& state) {
  kro::EngineStatus status = kro::kEngineOk;
  kro::CSpatialIndex index(File().Path().c_str(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, status);
  if (status != kro::kEngineOk) {
    state.SkipWithError(kro::StatusName(status));
    return false;
  }
  std::mt19937 random(1);
  for (int i = 0; i < kInsertions; ++i) {
    status = index.Insert(static_cast<uint32_t>(i % 6), RandomSmallBox(random), 2u * (i + 1));
    if (status != kro::kEngineOk) {
      state.SkipWithError(kro::StatusName(status));
      return false;
    }
  }
  index.Close();
  File().built = true;
  return true;
}

void InsertMillionBoxes(benchmark::State& state) {
  for (auto _ : state) {
    if (!BuildIndex(state)) return;
  }
  state.counters["inserts"] = benchmark::Counter(kInsertions, benchmark::Counter::kIsRate);
}

void QueryOneDegreeBoxes(benchmark::State& state) {
  if (!File().built) {
    state.PauseTiming();
    const bool built = BuildIndex(state);
    state.ResumeTiming();
    if (!built) return;
  }
  uint64_t hits = 0;
  for (auto _ : state) {
    kro::EngineStatus status = kro::kEngineOk;
    kro::CSpatialIndex index(File().Path().c_str(), kro::kOpenReadOnly, status);
    if (status != kro::kEngineOk) {
      state.SkipWithError(kro::StatusName(status));
      return;
    }
    std::mt19937 random(2);
    std::uniform_real_distribution<double> x(-180.0, 179.0);
    std::uniform_real_distribution<double> y(-90.0, 89.0);
    for (int q = 0; q < kQueries; ++q) {
      const double xMin = x(random);
      const double yMin = y(random);
      status = index.BeginSearch(BoundingBoxNode{xMin, yMin, xMin + 1.0, yMin + 1.0}, 0, true);
      uint32_t position = 0;
      uint32_t type = 0;
      BoundingBoxNode box{};
      while (status == kro::kEngineOk && (status = index.GetNextHit(position, type, box)) == kro::kEngineOk) ++hits;
      if (status != kro::kEngineEndOfResults) {
        state.SkipWithError(kro::StatusName(status));
        return;
      }
    }
  }
  state.counters["hits"] = benchmark::Counter(static_cast<double>(hits), benchmark::Counter::kIsRate);
  state.counters["queries"] = benchmark::Counter(kQueries, benchmark::Counter::kIsRate);
  state.counters["hits_per_query"] = static_cast<double>(hits) / kQueries;
}

BENCHMARK(InsertMillionBoxes)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(QueryOneDegreeBoxes)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
