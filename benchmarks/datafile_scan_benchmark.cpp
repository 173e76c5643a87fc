// The engine's sequential scan of a data file (the W3 workload without the
// component layer): 200 000 objects of all six kinds, 64-bit, read in file
// order with NextRecord and the kind's reader, every text and vertex taken.
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
    std::vector<CKroDoublePointNode> ring = {{0, 0}, {1, 0}, {1, 1}, {0.5, 1.5}, {0, 1}, {0, 0}};
    std::vector<CKroDoublePointNode> line = {{0, 0}, {1, 2}, {2, 1}, {3, 3}, {4, 2}, {5, 5}, {6, 1}, {7, 4}};
    const int32_t sets[] = {3, 5};
    const int32_t rings[] = {6, 6};
    std::vector<CKroDoublePointNode> twoRings = ring;
    twoRings.insert(twoRings.end(), ring.begin(), ring.end());
    uint32_t position = 0;
    for (int i = 0; i < kObjects; ++i) {
      const std::string key = "k" + std::to_string(i);
      const char* name = "road";
      switch (i % 6) {
        case 0: file.WritePoint(name, key.c_str(), "", line.data(), position, nullptr); break;
        case 1: file.WriteMultiPoint(name, key.c_str(), "", 4, line.data(), position, nullptr); break;
        case 2: file.WritePolyline(name, key.c_str(), "", 8, line.data(), position, nullptr); break;
        case 3: file.WritePolyPolyline(name, key.c_str(), "", 2, sets, line.data(), position, nullptr); break;
        case 4: file.WritePolygon(name, key.c_str(), "", 6, ring.data(), position, nullptr); break;
        default: file.WritePolyPolygon(name, key.c_str(), "u", 2, rings, twoRings.data(), position, nullptr); break;
      }
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
    const char *name, *key, *url;
    const CKroDoublePointNode* vertices;
    const int32_t* setCounts;
    int32_t count = 0;
    read = 0;
    while (file.NextRecord(type, position) == kro::kEngineOk) {
      switch (static_cast<int>(type)) {
        case 0: count = 1; file.ReadPoint(name, key, url, vertices); break;
        case 1: file.ReadMultiPoint(name, key, url, count, vertices); break;
        case 2: file.ReadPolyline(name, key, url, count, vertices); break;
        case 3: file.ReadPolyPolyline(name, key, url, count, setCounts, vertices); count = 8; break;
        case 4: file.ReadPolygon(name, key, url, count, vertices); break;
        default: file.ReadPolyPolygon(name, key, url, count, setCounts, vertices); count = 12; break;
      }
      sum += vertices[count - 1].x + key[0];
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
