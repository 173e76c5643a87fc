// A host program that writes real map data into a Gaf file set through the
// component interfaces: it reads the polygons and multi-polygons of a GeoJSON
// file, builds the library's KroPolygon and KroPolyPolygon objects (outer
// rings and holes alike become rings of one object), and exports them with
// a key index, the feature's "id" as key and its "name" as name.
//
//   kro_geojson_export <module path> <input.geojson> <output.gaf>
#include <KroGafExportImport/KroComPtr.h>
#include <KroGafExportImport/KroGafExportImport.h>
#include <KroGafExportImport/KroModule.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "HostExport.h"
#include "HostText.h"

namespace {

template <typename T>
using Ptr = kro::KroComPtr<T>;
using Rings = std::vector<std::vector<CKroDoublePointNode>>;

// Every ring of a Polygon or MultiPolygon geometry, closed.
Rings ReadRings(const nlohmann::json& geometry) {
  Rings rings;
  const std::string type = geometry.value("type", "");
  const nlohmann::json& coordinates = geometry["coordinates"];
  const auto addPolygon = [&rings](const nlohmann::json& polygon) {
    for (const nlohmann::json& ring : polygon) {
      std::vector<CKroDoublePointNode> points;
      for (const nlohmann::json& position : ring) points.push_back({position[0].get<double>(), position[1].get<double>()});
      if (!points.empty() && (points.front().x != points.back().x || points.front().y != points.back().y)) {
        points.push_back(points.front());
      }
      if (!points.empty()) rings.push_back(std::move(points));
    }
  };
  if (type == "Polygon") addPolygon(coordinates);
  if (type == "MultiPolygon") {
    for (const nlohmann::json& polygon : coordinates) addPolygon(polygon);
  }
  return rings;
}

void Name(IKroGeometry* object, const std::string& key, const std::string& name) {
  EKroErrCode err;
  object->SetKey(Text(key), &err);
  object->SetName(Text(name), &err);
  object->SetURL(Text("https://www.naturalearthdata.com/#" + key), &err);
}

Ptr<IKroGeometry> Area(const kro::KroModule& module, const Rings& rings, const std::string& key,
                       const std::string& name) {
  EKroErrCode err;
  if (rings.size() == 1) {
    Ptr<IKroPolygon> polygon;
    if (!Check(module.CreateInstance(CLSID_KroPolygon, IID_IKroPolygon, polygon.PutVoid()), "KroPolygon")) return {};
    std::vector<CKroDoublePointNode> ring = rings.front();
    polygon->SetPointArray(static_cast<int>(ring.size()), ring.data(), &err);
    Name(polygon.Get(), key, name);
    return Ptr<IKroGeometry>::Adopt(polygon.Detach());
  }
  Ptr<IKroPolyPolygon> shape;
  if (!Check(module.CreateInstance(CLSID_KroPolyPolygon, IID_IKroPolyPolygon, shape.PutVoid()), "KroPolyPolygon")) {
    return {};
  }
  std::vector<LONG> counts;
  std::vector<CKroDoublePointNode> vertices;
  for (const auto& ring : rings) {
    counts.push_back(static_cast<LONG>(ring.size()));
    vertices.insert(vertices.end(), ring.begin(), ring.end());
  }
  shape->SetMultiPointArray(static_cast<int>(counts.size()), counts.data(), static_cast<LONG>(vertices.size()),
                            vertices.data(), &err);
  Name(shape.Get(), key, name);
  return Ptr<IKroGeometry>::Adopt(shape.Detach());
}

std::vector<Ptr<IKroGeometry>> ReadFeatures(const kro::KroModule& module, const std::string& path) {
  std::vector<Ptr<IKroGeometry>> objects;
  std::ifstream in(path);
  const nlohmann::json collection = nlohmann::json::parse(in, nullptr, false);
  if (collection.is_discarded() || !collection.contains("features")) return objects;
  for (const nlohmann::json& feature : collection["features"]) {
    const nlohmann::json properties = feature.value("properties", nlohmann::json::object());
    const Rings rings = ReadRings(feature["geometry"]);
    if (rings.empty()) continue;
    const std::string key = properties.contains("id") ? properties["id"].get<std::string>() : std::to_string(objects.size());
    if (Ptr<IKroGeometry> area = Area(module, rings, key, properties.value("name", ""))) objects.push_back(area);
  }
  return objects;
}

bool Export(const kro::KroModule& module, const std::string& file, const std::vector<Ptr<IKroGeometry>>& objects) {
  const HostExportResult result =
      ExportObjects(module, {file, "Natural Earth 1:110m countries", kGafCreateNew, kGafPolygonObject}, objects);
  std::printf("  exported %d of %zu countries into %s (result %d)\n", static_cast<int>(result.exported), objects.size(),
              file.c_str(), static_cast<int>(result.code));
  return result.hr == S_OK && result.code == eKroOk && static_cast<size_t>(result.exported) == objects.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <module path> <input.geojson> <output.gaf>\n", argv[0]);
    return 2;
  }
  std::string error;
  auto module = kro::KroModule::Load(argv[1], &error);
  if (!module) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  bool ok = false;
  {
    const std::vector<Ptr<IKroGeometry>> objects = ReadFeatures(*module, argv[2]);
    if (objects.empty()) {
      std::fprintf(stderr, "%s: no polygons read\n", argv[2]);
      return 1;
    }
    ok = Export(*module, argv[3], objects);
  }
  return ok ? 0 : 1;
}
