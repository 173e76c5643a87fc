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

#include "component/ComPtr.h"
#include "component/ComponentClasses.h"
#include "drivers/DriverClasses.h"
#include "platform/CodePage.h"
#include "support/HostUnknown.h"

namespace {

constexpr LONG kObjects = 1000000;
constexpr int kBoxQueries = 10000;
// The objects fill a 1000 x 1000 grid over the world in rows, as the
// features of a map layer follow one another in space.
constexpr int kGridColumns = 1000;
constexpr double kCellWidth = 360.0 / kGridColumns;
constexpr double kCellHeight = 180.0 / (kObjects / kGridColumns);
constexpr int kVertices = 8;

using kro::test::HostUnknown;

// A new host object holding the one reference its creator hands on.
template <class T, class... Args>
T* NewHeld(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return object;
}

// Polyline `index` of the grid: eight vertices inside its cell.
class HostPolyline final : public HostUnknown<IKroPolyline> {
 public:
  explicit HostPolyline(LONG index) : index_(index) {
    const double left = -180 + (index % kGridColumns) * kCellWidth;
    const double bottom = -90 + (index / kGridColumns) * kCellHeight;
    for (int i = 0; i < kVertices; ++i) {
      points_[i] = {left + kCellWidth * i / kVertices, bottom + kCellHeight * ((i * 5) % kVertices) / kVertices};
    }
  }
  HRESULT GetKey(BSTR* out) override { return Text("k" + std::to_string(index_), out); }
  HRESULT SetKey(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT SetName(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetName(BSTR* out) override { return Text("road " + std::to_string(index_ % 977), out); }
  HRESULT SetURL(BSTR, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetURL(BSTR* out) override {
    *out = nullptr;
    return S_OK;
  }
  HRESULT GetVertexAt(LONG i, double* x, double* y) override {
    if (i < 0 || i >= kVertices) return S_FALSE;
    *x = points_[i].x;
    *y = points_[i].y;
    return S_OK;
  }
  HRESULT GetNumberOfSets(int* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetSetNumberAt(int set, LONG* count) override {
    if (set != 0) return S_FALSE;
    *count = kVertices;
    return S_OK;
  }
  HRESULT SetPointArray(int, CKroDoublePointNode*, EKroErrCode*) override { return E_NOTIMPL; }
  HRESULT GetPointArray(ULONG length, CKroDoublePointNode* points, ULONG* fetched) override {
    *fetched = length < kVertices ? length : kVertices;
    for (ULONG i = 0; i < *fetched; ++i) points[i] = points_[i];
    return S_OK;
  }
  HRESULT GetPointArraySize(ULONG* length) override {
    *length = kVertices;
    return S_OK;
  }

 private:
  static HRESULT Text(const std::string& text, BSTR* out) {
    *out = kro::MultiByteToBstr(text.c_str());
    return S_OK;
  }

  LONG index_;
  CKroDoublePointNode points_[kVertices];
};

// Makes each object when it is asked for, as a host streaming its layer.
class HostEnumerator final : public HostUnknown<IKroEnumGeometry> {
 public:
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Skip(ULONG count) override {
    next_ += static_cast<LONG>(count);
    return S_OK;
  }
  HRESULT Clone(IKroEnumGeometry**) override { return E_NOTIMPL; }
  HRESULT Next(ULONG count, IKroGeometry** objects, ULONG* fetched) override {
    *fetched = 0;
    while (*fetched < count && next_ < kObjects) objects[(*fetched)++] = NewHeld<HostPolyline>(next_++);
    return S_OK;
  }
  HRESULT MaxVertexCount(LONG* value) override {
    *value = kVertices;
    return S_OK;
  }
  HRESULT GetNumPlinesFailed(LONG* value) override {
    *value = 0;
    return S_OK;
  }

 private:
  LONG next_ = 0;
};

class HostSource final : public HostUnknown<IKroGeometrySource> {
 public:
  HRESULT EnumGeometry(IKroEnumGeometry** out) override {
    *out = NewHeld<HostEnumerator>();
    return S_OK;
  }
  HRESULT GetNumberOfObjects(LONG* count) override {
    *count = kObjects;
    return S_OK;
  }
};

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
    auto source = kro::ComPtr<HostSource>::Share(new HostSource());
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
