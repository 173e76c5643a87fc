// A host program: loads the component module, builds a small map with the
// library's geometry objects behind a geometry source of its own, exports it
// to a Gaf file set with a progress indicator of its own, and imports back
// what lies in a bounding box.
//
//   kro_host_demo <module path> [output folder]
#include <KroGafExportImport/KroComPtr.h>
#include <KroGafExportImport/KroGafExportImport.h>
#include <KroGafExportImport/KroModule.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostExport.h"
#include "HostText.h"

namespace {

template <typename T>
using Ptr = kro::KroComPtr<T>;

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) out += static_cast<char>(text[i]);
  SysFreeString(text);
  return out;
}

struct Map {
  std::vector<Ptr<IKroGeometry>> points, lines, areas;
};

void Name(IKroGeometry* object, const std::string& key, const std::string& name) {
  EKroErrCode err;
  object->SetKey(Text(key), &err);
  object->SetName(Text(name), &err);
  object->SetURL(Text("https://example.org/map/" + key), &err);
}

Ptr<IKroGeometry> City(const kro::KroModule& module, const std::string& key, const std::string& name, double x,
                       double y) {
  Ptr<IKroPoint> point;
  if (!Check(module.CreateInstance(CLSID_KroPoint, IID_IKroPoint, point.PutVoid()), "KroPoint")) return {};
  point->SetCoords(x, y);
  Name(point.Get(), key, name);
  return Ptr<IKroGeometry>::Adopt(point.Detach());
}

template <typename Interface>
Ptr<IKroGeometry> Shape(const kro::KroModule& module, REFCLSID clsid, REFIID iid, const std::string& key,
                        const std::string& name, std::vector<CKroDoublePointNode> vertices) {
  Ptr<Interface> shape;
  if (!Check(module.CreateInstance(clsid, iid, shape.PutVoid()), name.c_str())) return {};
  EKroErrCode err;
  shape->SetPointArray(static_cast<int>(vertices.size()), vertices.data(), &err);
  Name(shape.Get(), key, name);
  return Ptr<IKroGeometry>::Adopt(shape.Detach());
}

Ptr<IKroGeometry> Islands(const kro::KroModule& module) {
  Ptr<IKroPolyPolygon> islands;
  if (!Check(module.CreateInstance(CLSID_KroPolyPolygon, IID_IKroPolyPolygon, islands.PutVoid()), "islands")) {
    return {};
  }
  std::vector<CKroDoublePointNode> vertices = {{8.2, 47.0}, {8.4, 47.0}, {8.3, 47.1}, {8.2, 47.0},
                                               {8.6, 47.2}, {8.7, 47.2}, {8.7, 47.3}, {8.6, 47.2}};
  LONG counts[] = {4, 4};
  EKroErrCode err;
  islands->SetMultiPointArray(2, counts, 8, vertices.data(), &err);
  Name(islands.Get(), "islands", "Two islands");
  return Ptr<IKroGeometry>::Adopt(islands.Detach());
}

Map BuildMap(const kro::KroModule& module) {
  Map map;
  map.points = {City(module, "zrh", "Zurich", 8.54, 47.37), City(module, "bsl", "Basel", 7.59, 47.56),
                City(module, "gva", "Geneva", 6.14, 46.20), City(module, "ber", "Bern", 7.45, 46.95)};
  map.lines = {Shape<IKroPolyline>(module, CLSID_KroPolyline, IID_IKroPolyline, "rhine", "Rhine",
                                   {{9.5, 47.5}, {8.6, 47.6}, {7.6, 47.6}, {7.6, 48.0}}),
               Shape<IKroPolyline>(module, CLSID_KroPolyline, IID_IKroPolyline, "aare", "Aare",
                                   {{7.9, 46.7}, {7.45, 46.95}, {8.2, 47.4}, {8.2, 47.6}})};
  map.areas = {Shape<IKroPolygon>(module, CLSID_KroPolygon, IID_IKroPolygon, "leman", "Lake Geneva",
                                  {{6.15, 46.2}, {6.9, 46.4}, {6.5, 46.5}, {6.15, 46.2}}),
               Islands(module)};
  return map;
}

bool Export(const kro::KroModule& module, const std::string& file, const std::vector<Ptr<IKroGeometry>>& objects,
            EGafObjectType type, EKroGafOpenFlags mode) {
  const HostExportResult result = ExportObjects(module, {file, "Swiss sampler", mode, type}, objects);
  std::printf("  exported %d of %zu objects (result %d)\n", static_cast<int>(result.exported), objects.size(),
              static_cast<int>(result.code));
  return result.hr == S_OK;
}

const char* KindName(IKroGeometry* object) {
  Ptr<IUnknown> probe;
  if (SUCCEEDED(object->QueryInterface(IID_IKroPoint, probe.PutVoid()))) return "point";
  if (SUCCEEDED(object->QueryInterface(IID_IKroPolyline, probe.PutVoid()))) return "polyline";
  if (SUCCEEDED(object->QueryInterface(IID_IKroPolygon, probe.PutVoid()))) return "polygon";
  if (SUCCEEDED(object->QueryInterface(IID_IKroPolyPolygon, probe.PutVoid()))) return "multi-polygon";
  return "multi-polyline";
}

bool Import(const kro::KroModule& module, const std::string& file, BoundingBoxNode box) {
  Ptr<IKroGafPreferences> prefs;
  Ptr<IKroGafImport> importer;
  if (!Check(module.CreateInstance(CLSID_KroGafPreferences, IID_IKroGafPreferences, prefs.PutVoid()), "prefs") ||
      !Check(module.CreateInstance(CLSID_KroGafImport, IID_IKroGafImport, importer.PutVoid()), "import")) {
    return false;
  }
  EKroErrCode err;
  prefs->SetGafFileName(Text(file), &err);
  prefs->SetOpenStatus(kGafReadOnly, &err);
  if (importer->Initialize(prefs.Get(), &err) != S_OK) return Check(E_FAIL, "Initialize");
  LONG count = 0;
  BoundingBoxNode extent{};
  BSTR coordSys = nullptr;
  importer->GetNumberOfObjects(&count);
  importer->GetBoundingBox(&extent);
  importer->GetCoordSysName(&coordSys);
  std::printf("  the file set holds %d objects in (%.2f %.2f) - (%.2f %.2f), coordinate system %s\n",
              static_cast<int>(count), extent.xMin, extent.yMin, extent.xMax, extent.yMax, Narrow(coordSys).c_str());

  prefs->SetOpenStatus(kGafReadPartial, &err);
  Ptr<IKroGeometrySource> source;
  Ptr<IKroEnumGeometry> objects;
  if (importer->Import(prefs.Get(), &box, source.Put(), &err) != S_OK ||
      source->EnumGeometry(objects.Put()) != S_OK) {
    return Check(E_FAIL, "Import");
  }
  std::printf("  objects meeting the box (%.2f %.2f) - (%.2f %.2f):\n", box.xMin, box.yMin, box.xMax, box.yMax);
  for (;;) {
    IKroGeometry* object = nullptr;
    ULONG fetched = 0;
    if (objects->Next(1, &object, &fetched) != S_OK || fetched == 0) break;
    BSTR name = nullptr, key = nullptr;
    object->GetName(&name);
    object->GetKey(&key);
    LONG vertices = 0;
    int sets = 0;
    object->GetNumberOfSets(&sets);
    for (int s = 0; s < sets; ++s) {
      LONG inSet = 0;
      object->GetSetNumberAt(s, &inSet);
      vertices += inSet;
    }
    std::printf("    %-14s %-14s key %-8s %d vertices\n", KindName(object), Narrow(name).c_str(),
                Narrow(key).c_str(), static_cast<int>(vertices));
    object->Release();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <module path> [output folder]\n", argv[0]);
    return 2;
  }
  std::string folder;
  if (argc > 2) {
    folder = argv[2];
  } else {
    char pattern[] = "/tmp/kro-host-demo-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    folder = pattern;
  }
  std::string error;
  auto module = kro::KroModule::Load(argv[1], &error);
  if (!module) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const std::string file = folder + "/swiss.gaf";
  std::printf("KroGafExportImport host demo\nmodule: %s\nfile set: %s (.sif, .kif)\n\n", argv[1], file.c_str());
  bool ok = true;
  {
    const Map map = BuildMap(*module);
    std::printf("export points (new file set)\n");
    ok = Export(*module, file, map.points, kGafPointObject, kGafCreateNew) && ok;
    std::printf("export polylines (appended)\n");
    ok = Export(*module, file, map.lines, kGafPolylineObject, kGafOpenAppend) && ok;
    std::printf("export polygons and multi-polygons (appended)\n");
    ok = Export(*module, file, map.areas, kGafPolygonObject, kGafOpenAppend) && ok;
    std::printf("\nimport\n");
    ok = Import(*module, file, BoundingBoxNode{7.0, 46.8, 8.0, 47.7}) && ok;
  }
  std::printf("\nmodule can unload now: %s\n", module->CanUnloadNow() == S_OK ? "yes" : "no");
  return ok ? 0 : 1;
}
