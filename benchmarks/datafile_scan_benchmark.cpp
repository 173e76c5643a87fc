// The engine's sequential scan of a data file (the W3 workload without the
// component layer): 200 000 objects of all six kinds, 64-bit, read in file
// order with NextRecord and ReadRecord into one reused record, every text and
// vertex taken.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/datafile/CGafFile.h"

namespace {

constexpr int kObjects = 200000;

// The file of the run, in a fresh temporary directory removed at exit.
std::string ScanFile() {
  static const std::string name = [] {
    static char directory[] = "/tmp/kro-scan-XXXXXX";
    if (mkdtemp(directory) == nullptr) return std::string();
    static const std::string path = std::string(directory) + "/scan.gaf";
    std::atexit([] {
      std::remove(path.c_str());
      rmdir(directory);
    });
    kro::EngineStatus status = kro::kEngineOk;
    kro::CGafFile file(path.c_str(), 10, status);  // create anew
    file.SetPrecision(64);
    const std::vector<CKroDoublePointNode> ring = {{0, 0}, {1, 0}, {1, 1}, {0.5, 1.5}, {0, 1}, {0, 0}};
    const std::vector<CKroDoublePointNode> line = {{0, 0}, {1, 2}, {2, 1}, {3, 3}, {4, 2}, {5, 5}, {6, 1}, {7, 4}};
    const std::vector<CKroDoublePointNode> point(line.begin(), line.begin() + 1);
    const std::vector<CKroDoublePointNode> four(line.begin(), line.begin() + 4);
    std::vector<CKroDoublePointNode> twoRings = ring;
    twoRings.insert(twoRings.end(), ring.begin(), ring.end());
    // One of each kind, in kind order: point, multi-point, polyline,
    // multi-polyline, polygon, multi-polygon.
    kro::GafRecord kinds[6];
    const std::vector<CKroDoublePointNode>* vertices[6] = {&point, &four, &line, &line, &ring, &twoRings};
    const std::vector<int32_t> parts[6] = {{1}, {4}, {8}, {3, 5}, {6}, {6, 6}};
    for (int kind = 0; kind < 6; ++kind) {
      kinds[kind].kind = static_cast<EGafObjectType>(kind);
      kinds[kind].name = "road";
      kinds[kind].url = kind == 5 ? "u" : "";
      kinds[kind].parts = parts[kind];
      kinds[kind].vertices = *vertices[kind];
    }
    uint32_t position = 0;
    for (int i = 0; i < kObjects; ++i) {
      kro::GafRecord& record = kinds[i % 6];
      record.key = "k" + std::to_string(i);
      file.WriteRecord(record, position, nullptr);
    }
    file.Close();
    return path;
  }();
  return name;
}

void BM_EngineScan(benchmark::State& state) {
  const std::string path = ScanFile();
  int read = 0;
  double sum = 0;
  for (auto _ : state) {
    kro::EngineStatus status = kro::kEngineOk;
    kro::CGafFile file(path.c_str(), 1, status);  // read only
    EGafObjectType type;
    uint32_t position = 0;
    kro::GafRecord record;
    read = 0;
    while (file.NextRecord(type, position) == kro::kEngineOk) {
      file.ReadRecord(record);
      sum += record.vertices.back().x + record.key[0];
      ++read;
    }
  }
  benchmark::DoNotOptimize(sum);
  if (read != kObjects) state.SkipWithError(("scan incomplete: " + std::to_string(read)).c_str());
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(read) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_EngineScan)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
