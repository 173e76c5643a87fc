// gaftool info: what a set holds, read from the bytes of its three files, so
// that it also describes a set the engine would refuse to open.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CommandSupport.h"
#include "Commands.h"
#include "InspectionNames.h"

namespace gaftool {
namespace {

using nlohmann::json;

json DataFileJson(const SetInspection& set) {
  const GafHeaderInfo& h = set.data.header;
  json kinds = json::object();
  for (uint32_t type = 0; type < 6; ++type) kinds[KindName(type)] = set.data.kindCounts[type];
  json metadata = nullptr;
  if (h.hasMetadata) {
    const kro::GafCoordSys& c = h.coordSys;
    metadata = {{"code", c.code},           {"description", c.description}, {"unit", c.unitCode},
                {"datum", c.datumCode},     {"ellipsoid", c.ellipsoidCode}, {"equatorial_radius", c.ellipsoidEquatorialRadius},
                {"polar_radius", c.ellipsoidPolarRadius}};
  }
  return {{"file", set.paths.data},
          {"size", set.data.fileSize},
          {"version", h.version},
          {"precision", h.precision},
          {"ring_roles_by_orientation", h.RingRolesByOrientation()},
          {"description", h.hasDescription ? json(h.description) : json(nullptr)},
          {"coordinate_system", metadata},
          {"object_count", h.objectCount},
          {"records_found", set.data.records.size()},
          {"objects_by_kind", kinds},
          {"kinds_word", h.kinds},
          {"bounding_box", BoxJson(h.box)},
          {"free_records", set.data.freeRecords},
          {"free_bytes", set.data.freeBytes},
          {"free_list_head", h.freeListHead},
          {"end_of_data", set.data.endOfData}};
}

json SpatialIndexJson(const SetInspection& set) {
  if (!set.hasSpatialIndex) return nullptr;
  const SifScan& s = set.spatial;
  return {{"file", set.paths.spatialIndex},
          {"size", s.fileSize},
          {"header_read", s.headerRead},
          {"version", s.version},
          {"min_entries", s.minEntries},
          {"max_entries", s.maxEntries},
          {"coordinate_bits", s.coordinateBits},
          {"height", s.height},
          {"root", s.root},
          {"object_count", s.objectCount},
          {"nodes_per_level", s.nodesPerLevel},
          {"entries", s.entries},
          {"free_internal_blocks", s.freeInternalBlocks},
          {"free_leaf_blocks", s.freeLeafBlocks},
          {"description", s.description}};
}

json KeyIndexJson(const SetInspection& set) {
  if (!set.hasKeyIndex) return nullptr;
  const KifScan& k = set.key;
  return {{"file", set.paths.keyIndex},
          {"size", k.fileSize},
          {"header_read", k.headerRead},
          {"version", k.version},
          {"capacity", k.capacity},
          {"key_length", k.keyLength},
          {"height", k.height},
          {"root", k.root},
          {"entry_count", k.entryCount},
          {"nodes_per_level", k.nodesPerLevel},
          {"entries", k.entries.size()},
          {"free_internal_blocks", k.freeInternalBlocks},
          {"free_leaf_blocks", k.freeLeafBlocks},
          {"description", k.description}};
}

// Prints "  name: value" for every member, nested objects indented.
void PrintJsonObject(const json& object, int indent) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (it->is_object()) {
      std::printf("%*s%s:\n", indent, "", it.key().c_str());
      PrintJsonObject(*it, indent + 2);
    } else {
      const std::string text = it->is_string() ? it->get<std::string>() : JsonText(*it, -1);
      std::printf("%*s%s: %s\n", indent, "", it.key().c_str(), text.c_str());
    }
  }
}

void PrintText(const json& report) {
  std::printf("data file\n");
  PrintJsonObject(report["data_file"], 2);
  std::printf("spatial index%s\n", report["spatial_index"].is_null() ? ": none" : "");
  if (!report["spatial_index"].is_null()) PrintJsonObject(report["spatial_index"], 2);
  std::printf("key index%s\n", report["key_index"].is_null() ? ": none" : "");
  if (!report["key_index"].is_null()) PrintJsonObject(report["key_index"], 2);
  const uint64_t problems = report["problems"].get<uint64_t>();
  if (problems > 0) std::printf("%llu problems found: run gaftool verify\n", static_cast<unsigned long long>(problems));
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
  static SetArgument argument;
  static bool asJson = false;
  CLI::App* command = AddSetCommand(app, "info", "header values, object counts, box and index shapes", argument);
  command->add_flag("--json", asJson, "one JSON object instead of text");
  command->callback([&exitCode]() {
    SetInspection set;
    if (!InspectArgument(argument, false, set, exitCode)) return;
    const json report = {{"data_file", DataFileJson(set)},
                         {"spatial_index", SpatialIndexJson(set)},
                         {"key_index", KeyIndexJson(set)},
                         {"problems", set.findings.Count()}};
    if (asJson) {
      std::printf("%s\n", JsonText(report, 2).c_str());
    } else {
      PrintText(report);
    }
    exitCode = set.findings.Empty() ? kExitOk : kExitProblems;
  });
}

}  // namespace gaftool
