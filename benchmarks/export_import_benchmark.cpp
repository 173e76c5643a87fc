// Whole-component throughput: one million polylines of eight vertices
// exported with a key index from a source the host implements, then read
// back by a sequential import and by 10 000 imports of random one-degree
// boxes.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "com/ComPtr.h"
#include "component/ComponentClasses.h"
#include "drivers/DriverClasses.h"
#include "platform/CodePage.h"
#include "support/FixedHostPolyline.h"
#include "support/StreamingHostSource.h"

namespace {

constexpr LONG kObjects = 1000000;
constexpr int kBoxQueries = 10000;
// The objects fill a 1000 x 1000 grid over the world in rows, as the
// features of a map layer follow one another in space.
constexpr int kGridColumns = 1000;
constexpr double kCellWidth = 360.0 / kGridColumns;
constexpr double kCellHeight = 180.0 / (kObjects / kGridColumns);
constexpr int kVertices = 8;

using kro::test::NewHeld;

// Polyline `index` of the grid: eight vertices inside its cell.
IKroGeometry* GridPolyline(uint64_t index) {
  const double left = -180 + (index % kGridColumns) * kCellWidth;
  const double bottom = -90 + static_cast<double>(index / kGridColumns) * kCellHeight;
  std::vector<CKroDoublePointNode> points(kVertices);
  for (int i = 0; i < kVertices; ++i) {
    points[i] = {left + kCellWidth * i / kVertices, bottom + kCellHeight * ((i * 5) % kVertices) / kVertices};
  }
  return NewHeld<kro::test::FixedHostPolyline>("k" + std::to_string(index), "road " + std::to_string(index % 977),
                                               std::move(points));
}

class BSTRHolder {
 public:
  explicit BSTRHolder(const std::string& text) : text_(kro::MultiByteToBstr(text.c_str())) {}
  ~BSTRHolder() { SysFreeString(text_); }
  BSTRHolder(const BSTRHolder&) = delete;
  BSTRHolder& operator=(const BSTRHolder&) = delete;
  BSTR Get() const { return text_; }

 private:
  BSTR text_;
};

// The file set of the run, in a fresh temporary directory removed at exit.
class BenchmarkSet {
 public:
  BenchmarkSet() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/gaf-bench-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) dir_ = pattern;
  }
  ~BenchmarkSet() {
    for (const char* extension : {".gaf", ".sif", ".kif"}) ::unlink((Stem() + extension).c_str());
    ::rmdir(dir_.c_str());
  }
  std::string Stem() const { return dir_ + "/roads"; }
  std::string DataFile() const { return Stem() + ".gaf"; }

 private:
  std::string dir_;
};

BenchmarkSet& Set() {
  static BenchmarkSet set;
  return set;
}

kro::ComPtr<IKroGafPreferences> Preferences(EKroGafOpenFlags mode) {
  kro::ComPtr<IKroGafPreferences> preferences;
  kro::CreateKroGafPreferences(IID_IKroGafPreferences, preferences.PutVoid());
  EKroErrCode code = eKroUnknownErr;
  preferences->SetGafFileName(BSTRHolder(Set().DataFile()).Get(), &code);
  preferences->SetOpenStatus(mode, &code);
  preferences->SetObjectType(kGafPolylineObject, &code);
  preferences->SetFileDescription(BSTRHolder("benchmark roads").Get());
  preferences->put_UseKif(-1);
  return preferences;
}

// Reads every object the source's enumerator yields; the number read.
LONG ReadAll(IKroGeometrySource* source) {
  kro::ComPtr<IKroEnumGeometry> enumerator;
  if (source->EnumGeometry(enumerator.Put()) != S_OK) return 0;
  IKroGeometry* batch[256];
  ULONG fetched = 0;
  LONG total = 0;
  do {
    enumerator->Next(256, batch, &fetched);
    for (ULONG i = 0; i < fetched; ++i) batch[i]->Release();
    total += static_cast<LONG>(fetched);
  } while (fetched != 0);
  return total;
}

kro::ComPtr<IKroGafImport> InitializedImporter(IKroGafPreferences* preferences) {
  kro::ComPtr<IKroGafImport> importer;
  kro::CreateKroGafImport(IID_IKroGafImport, importer.PutVoid());
  EKroErrCode code = eKroUnknownErr;
  importer->Initialize(preferences, &code);
  return importer;
}

kro::ComPtr<IKroGeometrySource> ImportSource(IKroGafImport* importer, IKroGafPreferences* preferences,
                                              BoundingBoxNode* box) {
  kro::ComPtr<IKroGeometrySource> source;
  EKroErrCode code = eKroUnknownErr;
  importer->Import(preferences, box, source.Put(), &code);
  return source;
}

void BM_Export(benchmark::State& state) {
  LONG exported = 0;
  for (auto _ : state) {
    kro::ComPtr<IKroGafExport> exporter;
    kro::CreateKroGafExport(IID_IKroGafExport, exporter.PutVoid());
    auto source = kro::ComPtr<kro::test::StreamingHostSource>::Share(new kro::test::StreamingHostSource(
        kObjects, kVertices, GridPolyline));
    LONG maxVertex = 0, failed = 0;
    EKroErrCode code = eKroUnknownErr;
    exporter->Export(source.Get(), Preferences(kGafCreateNew).Get(), nullptr, &exported, &maxVertex, &failed, &code);
    if (code != eKroOk || exported != kObjects) state.SkipWithError("export failed");
  }
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(exported), benchmark::Counter::kIsRate);
}

void BM_ImportSequential(benchmark::State& state) {
  LONG read = 0;
  for (auto _ : state) {
    auto preferences = Preferences(kGafReadOnly);
    auto importer = InitializedImporter(preferences.Get());
    read = ReadAll(ImportSource(importer.Get(), preferences.Get(), nullptr).Get());
    if (read != kObjects) state.SkipWithError("sequential import incomplete");
  }
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
}

void BM_ImportBoxes(benchmark::State& state) {
  LONG read = 0;
  for (auto _ : state) {
    auto preferences = Preferences(kGafReadPartial);
    auto importer = InitializedImporter(preferences.Get());
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> x(-180, 179), y(-90, 89);
    read = 0;
    for (int q = 0; q < kBoxQueries; ++q) {
      BoundingBoxNode box{x(random), y(random), 0, 0};
      box.xMax = box.xMin + 1;
      box.yMax = box.yMin + 1;
      read += ReadAll(ImportSource(importer.Get(), preferences.Get(), &box).Get());
    }
  }
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
  state.counters["boxes/s"] = benchmark::Counter(kBoxQueries, benchmark::Counter::kIsRate);
  state.counters["objects/box"] = static_cast<double>(read) / kBoxQueries;
}

BENCHMARK(BM_Export)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportSequential)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportBoxes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
