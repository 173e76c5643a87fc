// What a crash-safe append costs: 200,000 eight-vertex polylines appended to
// a closed set of 20,000 with both indexes, three ways:
//  - through the facade, with its write session: the rollback journal, and
//    every file synced at the commit;
//  - the same with syncs turned into no-ops, which leaves the journal's own
//    work (before images taken and written);
//  - the engines alone with the facade's cache budget and no session at all:
//    what the same append costs without the journal and the syncs.
// Each iteration starts again from the same closed base set.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "engine/datafile/CGafFile.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafWriter.h"

namespace kro {
namespace {

constexpr int kBaseObjects = 20000;
constexpr int kAppended = 200000;
const char* const kExtensions[] = {".gaf", ".sif", ".kif"};

std::string MakeDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kro-journal-bench-XXXXXX";
  return ::mkdtemp(&pattern[0]) != nullptr ? pattern : std::string("/tmp");
}

void CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
}

// Object i: a polyline of eight vertices near a place drawn from i alone.
void MakeObject(int i, GafRecord& record) {
  std::mt19937 random(static_cast<uint32_t>(i) * 2654435761u);
  std::uniform_real_distribution<double> x(-179.0, 179.0), y(-89.0, 89.0), step(-0.05, 0.05);
  std::vector<CKroDoublePointNode>& points = record.vertices;
  record.kind = kGafPolylineObject;
  record.parts.assign(1, 8);
  points.resize(8);
  points[0] = {x(random), y(random)};
  for (int v = 1; v < 8; ++v) points[v] = {points[v - 1].x + step(random), points[v - 1].y + step(random)};
  record.name = "object " + std::to_string(i);
  record.key = "K" + std::to_string(1000000000 + i);
  record.url.clear();
}

class Workspace {
 public:
  Workspace() : directory_(MakeDirectory()) {
    CGafWriter writer;
    writer.Open(Base(".gaf").c_str(), kGafCreateNew, -1);
    writer.SetDescription("journal benchmark");
    writer.SetPrecision(64);
    Write(writer, 0, kBaseObjects);
    writer.Finish();
  }
  ~Workspace() {
    for (const char* extension : kExtensions) {
      std::remove(Base(extension).c_str());
      std::remove(Set(extension).c_str());
    }
    ::rmdir(directory_.c_str());
  }
  std::string Base(const char* extension) const { return directory_ + "/base" + extension; }
  std::string Set(const char* extension) const { return directory_ + "/set" + extension; }
  void Reset() const {
    for (const char* extension : kExtensions) CopyFile(Base(extension), Set(extension));
  }
  static void Write(CGafWriter& writer, int first, int count) {
    GafRecord record;
    for (int i = first; i < first + count; ++i) {
      MakeObject(i, record);
      writer.Write(record, nullptr);
    }
  }

 private:
  std::string directory_;
};

Workspace& Files() {
  static Workspace workspace;
  return workspace;
}

// The real file services with syncs that do nothing (and are counted).
class NoSyncFiles : public FileSystem {
 public:
  bool Open(const char* n, uint32_t f, FileHandle& h) override { return real_.Open(n, f, h); }
  bool Close(FileHandle h) override { return real_.Close(h); }
  bool Exists(const char* n) override { return real_.Exists(n); }
  bool Read(FileHandle h, void* b, uint32_t c) override { return real_.Read(h, b, c); }
  bool Write(FileHandle h, const void* b, uint32_t c) override { return real_.Write(h, b, c); }
  bool Seek(FileHandle h, int32_t d, SeekOrigin o) override { return real_.Seek(h, d, o); }
  bool Tell(FileHandle h, uint32_t& p) override { return real_.Tell(h, p); }
  bool Size(FileHandle h, uint32_t& s) override { return real_.Size(h, s); }
  bool Truncate(FileHandle h, uint32_t s) override { return real_.Truncate(h, s); }
  bool Sync(FileHandle) override { return ++syncs, true; }
  bool SyncDirectory(const char*) override { return ++syncs, true; }
  bool TempFileName(char* n) override { return real_.TempFileName(n); }
  bool Replace(const char* s, const char* t) override { return real_.Replace(s, t); }
  bool Delete(const char* n) override { return real_.Delete(n); }
  int syncs = 0;

 private:
  FileSystem& real_ = OperatingSystemFiles();
};

void AppendThroughSession(benchmark::State& state, bool syncs) {
  const Workspace& files = Files();
  NoSyncFiles noSync;
  Env withoutSyncs(noSync);
  for (auto _ : state) {
    state.PauseTiming();
    files.Reset();
    state.ResumeTiming();
    CGafWriter writer(syncs ? Env::Default() : withoutSyncs);
    if (writer.Open(files.Set(".gaf").c_str(), kGafOpenAppend, 0) != eKroOk) state.SkipWithError("open");
    Workspace::Write(writer, kBaseObjects, kAppended);
    if (writer.Finish() != eKroOk) state.SkipWithError("finish");
  }
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(kAppended) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
  if (!syncs) state.counters["syncs"] = static_cast<double>(noSync.syncs) / static_cast<double>(state.iterations());
}

void BM_AppendJournaledAndSynced(benchmark::State& state) { AppendThroughSession(state, true); }
void BM_AppendJournaledWithoutSyncs(benchmark::State& state) { AppendThroughSession(state, false); }

void BM_AppendEnginesAlone(benchmark::State& state) {
  const Workspace& files = Files();
  for (auto _ : state) {
    state.PauseTiming();
    files.Reset();
    state.ResumeTiming();
    EngineStatus status = kEngineOk;
    CGafFile data(files.Set(".gaf").c_str(), kOpenReadWrite, status);
    CSpatialIndex spatial(files.Set(".sif").c_str(), kOpenReadWrite, status);
    CKeyIndex keys(files.Set(".kif").c_str(), kOpenReadWrite, status);
    // The caches the facade would give them, so that only the session differs.
    (void)spatial.SetCacheBudget(CGafEngine::kDefaultIndexCacheBudget / 2);
    (void)keys.SetCacheBudget(CGafEngine::kDefaultIndexCacheBudget / 2);
    GafRecord record;
    for (int i = kBaseObjects; i < kBaseObjects + kAppended; ++i) {
      MakeObject(i, record);
      uint32_t position = 0;
      BoundingBoxNode box{};
      status = data.WriteRecord(record, position, &box);
      if (status == kEngineOk) status = spatial.Insert(kGafPolylineObject, box, position);
      if (status == kEngineOk) status = keys.Insert(record.key.c_str(), position);
      if (status != kEngineOk) state.SkipWithError("write");
    }
    data.Close();
    spatial.Close();
    keys.Close();
  }
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(kAppended) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

BENCHMARK(BM_AppendEnginesAlone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_AppendJournaledWithoutSyncs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_AppendJournaledAndSynced)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace kro

BENCHMARK_MAIN();
