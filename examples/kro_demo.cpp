// Demo of the data file engine: writes a small ".gaf" file with a
// description and coordinate-system metadata, closes it, reads it back in
// file order and prints what it finds.
//
//   kro_demo [file.gaf]     (default: demo.gaf in a fresh temporary directory)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/datafile/CGafFile.h"

using namespace kro;

namespace {

const char* TypeName(EGafObjectType type) {
  switch (static_cast<int>(type)) {
    case 0: return "point";
    case 1: return "multi-point";
    case 2: return "polyline";
    case 3: return "multi-polyline";
    case 4: return "polygon";
    case 5: return "multi-polygon";
    case 10: return "free record";
    default: return "unknown";
  }
}

bool Check(EngineStatus status, const char* what) {
  if (status == kEngineOk) return true;
  std::fprintf(stderr, "%s failed: %s\n", what, StatusName(status));
  return false;
}

GafRecord MakeRecord(EGafObjectType kind, const char* name, const char* key, const char* url,
                     std::vector<int32_t> parts, std::vector<CKroDoublePointNode> vertices) {
  GafRecord record;
  record.kind = kind;
  record.name = name;
  record.key = key;
  record.url = url;
  record.parts = std::move(parts);
  record.vertices = std::move(vertices);
  return record;
}

bool WriteDemo(const std::string& name) {
  EngineStatus status;
  CGafFile file(name.c_str(), 10, status);
  if (!Check(status, "create")) return false;
  GafCoordSys coordSys;  // WGS84 latitude-longitude
  file.SetCoordSys(&coordSys);
  file.SetDescription("KroGafExportImport demo: a few places near Lake Constance");
  const CKroDoublePointNode towns[] = {{9.175, 47.660}, {9.479, 47.549}, {9.733, 47.550}};
  const char* const names[] = {"Konstanz", "Friedrichshafen", "Lindau"};
  std::vector<GafRecord> records;
  for (int i = 0; i < 3; ++i) {
    const std::string key = "T" + std::to_string(i + 1);
    records.push_back(MakeRecord(kGafPointObject, names[i], key.c_str(), "", {1}, {towns[i]}));
  }
  records.push_back(MakeRecord(kGafPolylineObject, "Ferry", "L1", "https://example.org/ferry", {3},
                               {{9.175, 47.660}, {9.30, 47.62}, {9.479, 47.549}}));
  records.push_back(MakeRecord(kGafPolygonObject, "Island", "A1", "", {4},
                               {{9.68, 47.54}, {9.69, 47.54}, {9.69, 47.55}, {9.68, 47.54}}));
  records.push_back(MakeRecord(kGafPolyPolygonObject, "Parks", "A2", "", {4, 4},
                               {{9.10, 47.70}, {9.12, 47.70}, {9.12, 47.72}, {9.10, 47.70},
                                {9.20, 47.70}, {9.22, 47.70}, {9.22, 47.71}, {9.20, 47.70}}));
  uint32_t position;
  for (const GafRecord& record : records) {
    if (!Check(file.WriteRecord(record, position, nullptr), TypeName(record.kind))) return false;
  }
  return Check(file.Close(), "close");
}

bool ReadDemo(const std::string& name) {
  EngineStatus status;
  CGafFile file(name.c_str(), 1, status);
  if (!Check(status, "open")) return false;
  BoundingBoxNode box;
  file.GetBoundingBox(box);
  const GafCoordSys* coordSys = file.GetCoordSys();
  std::printf("file        %s\n", name.c_str());
  std::printf("objects     %u\n", file.GetObjectCount());
  std::printf("box         %.3f %.3f  %.3f %.3f\n", box.xMin, box.yMin, box.xMax, box.yMax);
  std::printf("description %s\n", file.GetDescription() != nullptr ? file.GetDescription() : "(none)");
  std::printf("coordinates %s, %u-bit\n", coordSys != nullptr ? coordSys->code : "(none)", file.GetPrecision());
  EGafObjectType type;
  uint32_t position;
  GafRecord record;
  while ((status = file.NextRecord(type, position)) == kEngineOk) {
    if (type == kGafUndefinedObject || type == static_cast<EGafObjectType>(10)) continue;
    if (!Check(file.ReadRecord(record), "read")) return false;
    std::printf("  @%-5u %-14s %-16s key %-3s %zu vertices\n", position, TypeName(type), record.name.c_str(),
                record.key.c_str(), record.vertices.size());
  }
  return status == kEngineEndOfResults || Check(status, "scan");
}

}  // namespace

int main(int argc, char** argv) {
  std::string name;
  if (argc > 1) {
    name = argv[1];
  } else {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kro-demo-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
      std::perror("mkdtemp");
      return 1;
    }
    name = pattern + "/demo.gaf";
  }
  return WriteDemo(name) && ReadDemo(name) ? 0 : 1;
}
