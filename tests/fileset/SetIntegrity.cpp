#include "fileset/SetIntegrity.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifStatistics.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafReader.h"

namespace kro::test {
namespace {

std::array<std::string, 3> SetNames(const std::string& stem) { return {stem + ".gaf", stem + ".sif", stem + ".kif"}; }

std::vector<uint32_t> PassPositions(CGafReader& reader) {
  std::vector<uint32_t> positions;
  EGafObjectType kind = kGafUndefinedObject;
  while (reader.NextResult(&kind) == eKroOk) positions.push_back(reader.CurrentPosition());
  reader.EndSearch();
  return positions;
}

std::string CheckIndexesVerify(const std::string& stem) {
  EngineStatus status = kEngineOk;
  CSpatialIndex spatialIndex((stem + ".sif").c_str(), kOpenReadOnly, status);
  SifStatistics sifStatistics{};
  if (status == kEngineOk) status = spatialIndex.Verify(nullptr, sifStatistics);
  if (status != kEngineOk) return std::string("spatial index: ") + StatusName(status);
  CKeyIndex keyIndex((stem + ".kif").c_str(), kOpenReadOnly, status);
  KifStatistics kifStatistics{};
  if (status == kEngineOk) status = keyIndex.Verify(nullptr, kifStatistics);
  if (status != kEngineOk) return std::string("key index: ") + StatusName(status);
  return "";
}

}  // namespace

SetSnapshot TakeSnapshot(const std::string& stem) {
  SetSnapshot snapshot;
  const auto names = SetNames(stem);
  for (size_t i = 0; i < names.size(); ++i) {
    snapshot.present[i] = FileExists(names[i]);
    if (snapshot.present[i]) snapshot.files[i] = ReadFileBytes(names[i]);
  }
  return snapshot;
}

void RestoreSnapshot(const std::string& stem, const SetSnapshot& snapshot) {
  const auto names = SetNames(stem);
  for (size_t i = 0; i < names.size(); ++i) {
    if (snapshot.present[i]) WriteFileBytes(names[i], snapshot.files[i]);
    else std::remove(names[i].c_str());
  }
  std::remove(JournalOf(stem).c_str());
}

std::string JournalOf(const std::string& stem) { return stem + ".gaf-journal"; }

BoundingBoxNode ObjectBox(int i) {
  const double x = (i % 97) * 3.0 - 150;
  const double y = (i / 97) * 3.0 - 80;
  return {x, y, x + 1.75, y + 1.5};
}

EKroErrCode WriteObjects(CGafWriter& writer, int first, int count) {
  GafRecord record = SinglePartRecord(kGafPolylineObject, std::vector<CKroDoublePointNode>(8));
  record.url = "u";
  for (int i = first; i < first + count; ++i) {
    const BoundingBoxNode box = ObjectBox(i);
    for (int v = 0; v < 8; ++v) record.vertices[v] = {box.xMin + v * 0.25, box.yMin + (v % 4) * 0.5};
    record.name = "object " + std::to_string(i);
    record.key = "k" + std::to_string(i);
    const EKroErrCode result = writer.Write(record, nullptr);
    if (result != eKroOk) return result;
  }
  return eKroOk;
}

EKroErrCode WriteRun(const std::string& stem, EKroGafOpenFlags mode, int first, int count, Env& env) {
  CGafWriter writer(env);
  if (writer.Open((stem + ".gaf").c_str(), mode, -1) != eKroOk) return eKroUnableToOpen;
  if (mode == kGafCreateNew && (writer.SetDescription("crash test") != eKroOk || writer.SetPrecision(64) != eKroOk)) {
    return eKroInvalidParameter;
  }
  const EKroErrCode written = WriteObjects(writer, first, count);
  if (written != eKroOk) {
    writer.Discard();
    return written;
  }
  return writer.Finish();
}

std::string CheckSetHolds(const std::string& stem, int count, Env& env) {
  CGafReader reader(env);
  if (reader.OpenForRead((stem + ".gaf").c_str(), kGafReadOnly) != eKroOk) {
    return std::string("refused: ") + StatusName(reader.LastStatus());
  }
  if (reader.GetNumberOfObjects() != count) return "count " + std::to_string(reader.GetNumberOfObjects());
  if (reader.BeginSequential() != eKroOk) return "no sequential pass";
  if (PassPositions(reader).size() != static_cast<size_t>(count)) return "sequential pass differs";
  for (int i = 0; i < count; ++i) {
    const std::string key = "k" + std::to_string(i);
    if (reader.BeginKeySearch(key.c_str()) != eKroOk) return "no key search";
    const std::vector<uint32_t> byKey = PassPositions(reader);
    if (byKey.size() != 1) return key + " found " + std::to_string(byKey.size()) + " times by key";
    const BoundingBoxNode box = ObjectBox(i);
    if (reader.BeginSpatialSearch(&box) != eKroOk) return "no box search";
    const std::vector<uint32_t> byBox = PassPositions(reader);
    if (std::find(byBox.begin(), byBox.end(), byKey[0]) == byBox.end()) return key + " not found by its box";
  }
  return CheckIndexesVerify(stem);
}

int OpenCount(const std::string& stem, Env& env) {
  CGafReader reader(env);
  if (reader.OpenForRead((stem + ".gaf").c_str(), kGafReadOnly) != eKroOk) return -1;
  return reader.GetNumberOfObjects();
}

}  // namespace kro::test
