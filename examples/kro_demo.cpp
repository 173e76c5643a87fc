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

bool WriteDemo(const std::string& name) {
  EngineStatus status;
  CGafFile file(name.c_str(), 10, status);
  if (!Check(status, "create")) return false;
  GafCoordSys coordSys;  // WGS84 latitude-longitude
  file.SetCoordSys(&coordSys);
  file.SetDescription("KroGafExportImport demo: a few places near Lake Constance");
  uint32_t position;
  const CKroDoublePointNode towns[] = {{9.175, 47.660}, {9.479, 47.549}, {9.733, 47.550}};
  const char* const names[] = {"Konstanz", "Friedrichshafen", "Lindau"};
  for (int i = 0; i < 3; ++i) {
    const std::string key = "T" + std::to_string(i + 1);
    if (!Check(file.WritePoint(names[i], key.c_str(), "", &towns[i], position, nullptr), "point")) return false;
  }
  const CKroDoublePointNode ferry[] = {{9.175, 47.660}, {9.30, 47.62}, {9.479, 47.549}};
  if (!Check(file.WritePolyline("Ferry", "L1", "https://example.org/ferry", 3, ferry, position, nullptr), "polyline")) {
    return false;
  }
  const CKroDoublePointNode island[] = {{9.68, 47.54}, {9.69, 47.54}, {9.69, 47.55}, {9.68, 47.54}};
  if (!Check(file.WritePolygon("Island", "A1", "", 4, island, position, nullptr), "polygon")) return false;
  const int32_t rings[] = {4, 4};
  const CKroDoublePointNode parks[] = {{9.10, 47.70}, {9.12, 47.70}, {9.12, 47.72}, {9.10, 47.70},
                                       {9.20, 47.70}, {9.22, 47.70}, {9.22, 47.71}, {9.20, 47.70}};
  if (!Check(file.WritePolyPolygon("Parks", "A2", "", 2, rings, parks, position, nullptr), "multi-polygon")) {
    return false;
  }
  return Check(file.Close(), "close");
}

// Reads the body of the current record and returns its name, key and vertex count.
EngineStatus ReadBody(CGafFile& file, EGafObjectType type, const char*& name, const char*& key, int32_t& vertices) {
  const char* url;
  const CKroDoublePointNode* points;
  const int32_t* setCounts;
  int32_t sets = 0;
  EngineStatus status = eGafWrongType;
  vertices = 1;
  switch (static_cast<int>(type)) {
    case 0: status = file.ReadPoint(name, key, url, points); break;
    case 1: status = file.ReadMultiPoint(name, key, url, vertices, points); break;
    case 2: status = file.ReadPolyline(name, key, url, vertices, points); break;
    case 3: status = file.ReadPolyPolyline(name, key, url, sets, setCounts, points); break;
    case 4: status = file.ReadPolygon(name, key, url, vertices, points); break;
    case 5: status = file.ReadPolyPolygon(name, key, url, sets, setCounts, points); break;
    default: break;
  }
  if (type == 3 || type == 5) {
    vertices = 0;
    for (int32_t i = 0; i < sets; ++i) vertices += setCounts[i];
  }
  return status;
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
  while ((status = file.NextRecord(type, position)) == kEngineOk) {
    const char* objectName = "";
    const char* key = "";
    int32_t vertices = 0;
    if (type == kGafUndefinedObject || type == static_cast<EGafObjectType>(10)) continue;
    if (!Check(ReadBody(file, type, objectName, key, vertices), "read")) return false;
    std::printf("  @%-5u %-14s %-16s key %-3s %d vertices\n", position, TypeName(type), objectName, key, vertices);
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
