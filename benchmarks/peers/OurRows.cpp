// Our two rows: the component objects as a host uses them (a host source for
// the export, the import object's sources for the reads), and the engine
// facade and spatial index called directly.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Row.h"
#include "com/ComPtr.h"
#include "component/ComponentClasses.h"
#include "drivers/DriverClasses.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"
#include "platform/CodePage.h"
#include "support/FixedHostPolyline.h"
#include "support/StreamingHostSource.h"

// The same driver measures the library before its index block cache came.
#if __has_include("engine/indexfile/BlockCache.h")
#define KRO_PEERS_HAVE_BLOCK_CACHE 1
#endif

namespace peers {
namespace {

using kro::test::NewHeld;

// Workload object `index` as a host hands it to the export.
IKroGeometry* WorkloadPolyline(uint64_t index) {
  Object object;
  MakeObject(index, object);
  std::vector<CKroDoublePointNode> points(kVertices);
  for (int i = 0; i < kVertices; ++i) points[i] = {object.x[i], object.y[i]};
  return NewHeld<kro::test::FixedHostPolyline>(object.key, object.name, std::move(points));
}

class Text {
 public:
  explicit Text(const std::string& text) : text_(kro::MultiByteToBstr(text.c_str())) {}
  ~Text() { SysFreeString(text_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  BSTR Get() const { return text_; }

 private:
  BSTR text_;
};

kro::ComPtr<IKroGafPreferences> Preferences(const std::string& stem, EKroGafOpenFlags mode, bool withKeyIndex) {
  kro::ComPtr<IKroGafPreferences> preferences;
  kro::CreateKroGafPreferences(IID_IKroGafPreferences, preferences.PutVoid());
  EKroErrCode code = eKroUnknownErr;
  preferences->SetGafFileName(Text(stem + ".gaf").Get(), &code);
  preferences->SetOpenStatus(mode, &code);
  preferences->SetObjectType(kGafPolylineObject, &code);
  preferences->SetCoordPrecision(64, &code);
  preferences->SetFileDescription(Text("comparison workload").Get());
  preferences->put_UseKif(withKeyIndex ? -1 : 0);
  return preferences;
}

// Reads every object a source yields: all vertices, name and key.
bool ReadSource(IKroGeometrySource* source, Tally& tally) {
  if (source == nullptr) return false;
  kro::ComPtr<IKroEnumGeometry> enumerator;
  if (source->EnumGeometry(enumerator.Put()) != S_OK) return false;
  IKroGeometry* batch[256];
  ULONG fetched = 0;
  CKroDoublePointNode points[kVertices];
  double xs[kVertices], ys[kVertices];
  do {
    if (FAILED(enumerator->Next(256, batch, &fetched))) return false;
    for (ULONG i = 0; i < fetched; ++i) {
      IKroPolyline* line = nullptr;
      if (batch[i]->QueryInterface(IID_IKroPolyline, reinterpret_cast<void**>(&line)) == S_OK) {
        ULONG count = 0;
        line->GetPointArray(kVertices, points, &count);
        for (ULONG v = 0; v < count; ++v) xs[v] = points[v].x, ys[v] = points[v].y;
        BSTR name = nullptr, key = nullptr;
        line->GetName(&name);
        line->GetKey(&key);
        tally.Add(xs, ys, static_cast<int>(count), SysStringLen(name), SysStringLen(key));
        SysFreeString(name);
        SysFreeString(key);
        line->Release();
      }
      batch[i]->Release();
    }
  } while (fetched != 0);
  return true;
}

class ComponentRow final : public Row {
 public:
  // KroGafExport's row, or KroGafOrderedExport's.
  explicit ComponentRow(bool ordered) : ordered_(ordered) {}
  const char* Name() const override { return ordered_ ? "ours, component, ordered export" : "ours, component"; }
  bool HasIndexOnly() const override { return false; }
  bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) override {
    RemoveGafSet(stem);
    kro::ComPtr<IKroGafExport> exporter;
    (ordered_ ? kro::CreateKroGafOrderedExport : kro::CreateKroGafExport)(IID_IKroGafExport, exporter.PutVoid());
    auto source = kro::ComPtr<kro::test::StreamingHostSource>::Share(new kro::test::StreamingHostSource(
        count, kVertices, WorkloadPolyline));
    LONG exported = 0, maxVertex = 0, failed = 0;
    EKroErrCode code = eKroUnknownErr;
    exporter->Export(source.Get(), Preferences(stem, kGafCreateNew, withKeyIndex).Get(), nullptr, &exported,
                     &maxVertex, &failed, &code);
    if (code == eKroOk && static_cast<uint64_t>(exported) == count) return true;
    std::fprintf(stderr, "export: code %d, %ld of %llu objects written\n", static_cast<int>(code), static_cast<long>(exported),
                 static_cast<unsigned long long>(count));
    return false;
  }
  bool QueryIndex(const std::string&, uint64_t&) override { return false; }
  bool Query(const std::string& stem, Tally& tally) override {
    auto preferences = Preferences(stem, kGafReadPartial, false);
    kro::ComPtr<IKroGafImport> importer;
    kro::CreateKroGafImport(IID_IKroGafImport, importer.PutVoid());
    EKroErrCode code = eKroUnknownErr;
    if (importer->Initialize(preferences.Get(), &code) != S_OK || code != eKroOk) return false;
    for (int q = 0; q < kQueries; ++q) {
      const Box query = MakeQuery(q);
      BoundingBoxNode box{query.xMin, query.yMin, query.xMax, query.yMax};
      kro::ComPtr<IKroGeometrySource> source;
      importer->Import(preferences.Get(), &box, source.Put(), &code);
      if (code != eKroOk || !ReadSource(source.Get(), tally)) return false;
    }
    return true;
  }
  bool Scan(const std::string& stem, Tally& tally) override {
    auto preferences = Preferences(stem, kGafReadOnly, false);
    kro::ComPtr<IKroGafImport> importer;
    kro::CreateKroGafImport(IID_IKroGafImport, importer.PutVoid());
    EKroErrCode code = eKroUnknownErr;
    if (importer->Initialize(preferences.Get(), &code) != S_OK || code != eKroOk) return false;
    kro::ComPtr<IKroGeometrySource> source;
    importer->Import(preferences.Get(), nullptr, source.Put(), &code);
    return code == eKroOk && ReadSource(source.Get(), tally);
  }

 private:
  bool ordered_;
};

// Reads the polylines of a running pass of `reader`.
bool ReadPass(kro::CGafReader& reader, Tally& tally) {
  double xs[kVertices], ys[kVertices];
  kro::GafRecord record;
  for (;;) {
    const EKroErrCode next = reader.Next(record);
    if (next == eKroEndOfGaf) break;
    if (next != eKroOk) return false;
    const int count = static_cast<int>(record.vertices.size());
    const int used = count < kVertices ? count : kVertices;
    for (int v = 0; v < used; ++v) xs[v] = record.vertices[v].x, ys[v] = record.vertices[v].y;
    tally.Add(xs, ys, used, record.name.size(), record.key.size());
  }
  return reader.EndSearch() == eKroOk;
}

class EngineRow final : public Row {
 public:
  explicit EngineRow(kro::GafSpatialOrder order) : order_(order) {}
  const char* Name() const override {
    return order_ == kro::GafSpatialOrder::kHilbert ? "ours, engine, ordered export" : "ours, engine";
  }
  bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) override {
    RemoveGafSet(stem);
    kro::CGafWriter writer;
    writer.SetSpatialOrder(order_);
    if (writer.Open((stem + ".gaf").c_str(), kGafCreateNew, withKeyIndex ? -1 : 0) != 0) return false;
    if (writer.SetPrecision(64) != eKroOk) return false;
    kro::GafRecord record = kro::SinglePartRecord(kGafPolylineObject, std::vector<CKroDoublePointNode>(kVertices));
    Object object;
    for (uint64_t i = 0; i < count; ++i) {
      MakeObject(i, object);
      record.name = object.name;
      record.key = object.key;
      for (int v = 0; v < kVertices; ++v) record.vertices[v] = {object.x[v], object.y[v]};
      if (writer.Write(record, nullptr) != eKroOk) return false;
    }
    return writer.Finish() == eKroOk;
  }
  bool QueryIndex(const std::string& stem, uint64_t& hits) override {
    kro::EngineStatus status = kro::kEngineOk;
    kro::CSpatialIndex index((stem + ".sif").c_str(), kro::kOpenReadOnly, status);
    if (status != kro::kEngineOk) return false;
#if KRO_PEERS_HAVE_BLOCK_CACHE
    // The budget a set opened through the facade gives its spatial index.
    (void)index.SetCacheBudget(kro::CGafEngine::kDefaultIndexCacheBudget);
#endif
    for (int q = 0; q < kQueries; ++q) {
      const Box query = MakeQuery(q);
      if (index.BeginSearch(BoundingBoxNode{query.xMin, query.yMin, query.xMax, query.yMax}, 0, true) !=
          kro::kEngineOk) {
        return false;
      }
      uint32_t position = 0, type = 0;
      BoundingBoxNode box{};
      kro::EngineStatus next;
      while ((next = index.GetNextHit(position, type, box)) == kro::kEngineOk) ++hits;
      if (next != kro::kEngineEndOfResults) return false;
    }
    return true;
  }
  bool Query(const std::string& stem, Tally& tally) override {
    kro::CGafReader reader;
    if (reader.OpenForRead((stem + ".gaf").c_str(), kGafReadPartial) != eKroOk) return false;
    for (int q = 0; q < kQueries; ++q) {
      const Box query = MakeQuery(q);
      const BoundingBoxNode box{query.xMin, query.yMin, query.xMax, query.yMax};
      if (reader.BeginSpatialSearch(&box) != eKroOk || !ReadPass(reader, tally)) return false;
    }
    return true;
  }
  bool Scan(const std::string& stem, Tally& tally) override {
    kro::CGafReader reader;
    return reader.OpenForRead((stem + ".gaf").c_str(), kGafReadOnly) == eKroOk && reader.BeginSequential() == eKroOk &&
           ReadPass(reader, tally);
  }

 private:
  kro::GafSpatialOrder order_;
};

}  // namespace

void RemoveGafSet(const std::string& stem) {
  for (const char* extension : {".gaf", ".sif", ".kif"}) std::remove((stem + extension).c_str());
}

std::unique_ptr<Row> MakeComponentRow() { return std::make_unique<ComponentRow>(false); }
std::unique_ptr<Row> MakeOrderedComponentRow() { return std::make_unique<ComponentRow>(true); }
std::unique_ptr<Row> MakeEngineRow() { return std::make_unique<EngineRow>(kro::GafSpatialOrder::kAsWritten); }
std::unique_ptr<Row> MakeOrderedEngineRow() { return std::make_unique<EngineRow>(kro::GafSpatialOrder::kHilbert); }

}  // namespace peers
