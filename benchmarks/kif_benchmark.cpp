// Key index throughput: one million insertions into a new index (a tenth of
// them earlier keys again with new record positions), the same million pairs
// written by the bulk loader, then 100 000 searches read to their end.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifBulkLoader.h"
#include "platform/FileSystem.h"

namespace {

constexpr uint32_t kInsertions = 1000000;
constexpr uint32_t kSearches = 100000;

// Distinct keys in scattered order, so insertions land all over the tree.
std::string KeyOf(uint32_t n) {
  char text[24];
  std::snprintf(text, sizeof text, "key-%08x", static_cast<unsigned>(n * 2654435761u));
  return text;
}

// The key of insertion i: every tenth repeats the key of an earlier one.
std::vector<std::string> InsertionKeys() {
  std::vector<std::string> keys;
  keys.reserve(kInsertions);
  std::mt19937 random(17);
  for (uint32_t i = 0; i < kInsertions; ++i) {
    keys.push_back(i % 10 == 9 ? keys[random() % i] : KeyOf(i));
  }
  return keys;
}

class BenchmarkFile {
 public:
  BenchmarkFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kif-bench-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) dir_ = pattern;
    path_ = dir_ + "/bench.kif";
  }
  ~BenchmarkFile() {
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  const char* path() const { return path_.c_str(); }
  bool built = false;

 private:
  std::string dir_;
  std::string path_;
};

BenchmarkFile& File() {
  static BenchmarkFile file;
  return file;
}

// The bulk loader's file, apart, so that the searches read the inserted tree.
BenchmarkFile& LoadedFile() {
  static BenchmarkFile file;
  return file;
}

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = InsertionKeys();
  return keys;
}

bool BuildIndex() {
  kro::EngineStatus status;
  kro::CKeyIndex index(File().path(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, status);
  if (status != kro::kEngineOk) return false;
  const std::vector<std::string>& keys = Keys();
  for (uint32_t i = 0; i < kInsertions; ++i) {
    if (index.Insert(keys[i].c_str(), 2 * (i + 1)) != kro::kEngineOk) return false;
  }
  return true;
}

void BM_InsertOneMillion(benchmark::State& state) {
  Keys();
  for (auto _ : state) {
    File().built = BuildIndex();  // closing (header and dirty nodes) is part of it
    if (!File().built) state.SkipWithError("insertion failed");
  }
  state.counters["insertions"] =
      benchmark::Counter(double(kInsertions) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InsertOneMillion)->Iterations(1)->Unit(benchmark::kMillisecond);

// The insertions' pairs in the index's order, as an ordered export hands
// them over: insertion i is the pair (key i, 2 (i + 1)).
std::vector<uint32_t> SortedInsertions() {
  const std::vector<std::string>& keys = Keys();
  std::vector<uint32_t> order(kInsertions);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return kro::KifEntryPrecedes(keys[a].data(), keys[a].size(), 2 * (a + 1), keys[b].data(), keys[b].size(),
                                 2 * (b + 1));
  });
  return order;
}

bool BulkLoadIndex(const std::vector<uint32_t>& order) {
  const kro::CGafRawFile files;
  kro::FileHandle file = kro::kInvalidFileHandle;
  if (!files.Open(LoadedFile().path(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, file)) return false;
  kro::EngineStatus status = kro::kEngineOk;
  {
    kro::KifBulkLoader loader(files, file, order.size());
    const std::vector<std::string>& keys = Keys();
    for (size_t i = 0; i < order.size() && status == kro::kEngineOk; ++i) {
      status = loader.Add(keys[order[i]].data(), keys[order[i]].size(), 2 * (order[i] + 1));
    }
    if (status == kro::kEngineOk) status = loader.Finish();
  }
  return files.Close(file) && status == kro::kEngineOk;
}

// The same pairs as BM_InsertOneMillion, sorted before the clock starts.
void BM_BulkLoadOneMillion(benchmark::State& state) {
  const std::vector<uint32_t> order = SortedInsertions();
  for (auto _ : state) {
    // The file closed, not synced, as after the insertions.
    if (!BulkLoadIndex(order)) state.SkipWithError("bulk load failed");
  }
  state.counters["entries"] =
      benchmark::Counter(double(kInsertions) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BulkLoadOneMillion)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SearchHundredThousand(benchmark::State& state) {
  if (!File().built) File().built = BuildIndex();
  kro::EngineStatus status;
  kro::CKeyIndex index(File().path(), kro::kOpenReadOnly, status);
  if (status != kro::kEngineOk) {
    state.SkipWithError("open failed");
    return;
  }
  std::mt19937 random(23);
  std::vector<const std::string*> wanted;
  for (uint32_t i = 0; i < kSearches; ++i) wanted.push_back(&Keys()[random() % kInsertions]);
  uint64_t matches = 0;
  for (auto _ : state) {
    for (const std::string* key : wanted) {
      kro::EngineStatus result = index.BeginSearch(key->c_str());
      uint32_t position = 0;
      while (result == kro::kEngineOk && (result = index.GetNextMatch(position)) == kro::kEngineOk) ++matches;
      if (result != kro::kEngineEndOfResults) state.SkipWithError("search failed");
    }
  }
  state.counters["searches"] =
      benchmark::Counter(double(kSearches) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["matches"] = benchmark::Counter(double(matches), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SearchHundredThousand)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
