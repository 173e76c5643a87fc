// gaftool dump: the objects of a set, all of them or those a box meets or
// those with a key, as text, a GeoJSON FeatureCollection or one GeoJSON
// feature per line. Damaged records are left out of the output and reported,
// and the exit status is then 1.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "CommandSupport.h"
#include "Commands.h"
#include "GeoJson.h"
#include "ObjectPass.h"
#include "engine/datafile/GafRecordCodec.h"

namespace gaftool {
namespace {

void PrintText(const PassObject& object) {
  const kro::GafRecord& r = object.record;
  std::printf("%s at %s: name \"%s\" key \"%s\" url \"%s\", %zu vertices", KindName(r.kind).c_str(),
              Hex(object.position).c_str(), r.name.c_str(), r.key.c_str(), r.url.c_str(), r.vertices.size());
  if (kro::gaf::IsMultiPart(r.kind) && !r.parts.empty()) std::printf(" in %zu sets", r.parts.size());
  std::printf("\n ");
  for (const CKroDoublePointNode& p : r.vertices) std::printf(" %.10g,%.10g", p.x, p.y);
  std::printf("\n");
}

}  // namespace

void AddDumpCommand(CLI::App& app, int& exitCode) {
  static SetArgument argument;
  static std::vector<double> box;
  static std::string key;
  static std::string format = "text";
  CLI::App* command = AddSetCommand(app, "dump", "print the objects, all or those a box meets or with a key", argument);
  CLI::Option* boxOption = AddBoxOption(command, box, "objects whose boxes meet X1 Y1 X2 Y2 (through the spatial index)");
  command->add_option("--key", key, "objects with this key (through the key index)")->excludes(boxOption);
  command->add_option("--format", format, "text, geojson or jsonl")
      ->check(CLI::IsMember({"text", "geojson", "jsonl"}));
  command->callback([&exitCode, command]() {
    SetPaths paths;
    if (!ResolveSet(argument, paths, exitCode)) return;
    PassRequest request;
    if (!box.empty()) request.box = OrderedBox(box);
    if (command->count("--key") > 0) request.key = key;
    nlohmann::json features = nlohmann::json::array();
    const std::vector<std::string> problems = ForEachObject(argument.dataFile, request, [&features](const PassObject& object) {
      if (format == "text") {
        PrintText(object);
      } else if (format == "jsonl") {
        std::printf("%s\n", JsonText(FeatureJson(object), -1).c_str());
      } else {
        features.push_back(FeatureJson(object));
      }
    });
    if (format == "geojson") {
      const nlohmann::json collection = {{"type", "FeatureCollection"}, {"features", features}};
      std::printf("%s\n", JsonText(collection, -1).c_str());
    }
    std::fflush(stdout);
    exitCode = ReportProblems(argument.dataFile, problems);
  });
}

}  // namespace gaftool
