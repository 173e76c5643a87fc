#include "CommandSupport.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "Progress.h"
#include "engine/EngineError.h"
#include "engine/writesession/SetFileTarget.h"

namespace gaftool {

CLI::App* AddSetCommand(CLI::App& app, const char* name, const char* description, SetArgument& argument) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("SET.gaf", argument.dataFile, "the data file of the set")->required()->check(CLI::ExistingFile);
  command->add_flag("-q,--quiet", argument.quiet, "no progress bar");
  return command;
}

CLI::Option* AddBoxOption(CLI::App* command, std::vector<double>& box, const std::string& description) {
  const CLI::Validator notNaN(
      [](std::string& text) {
        return std::isnan(std::strtod(text.c_str(), nullptr)) ? std::string("a box corner must be a number, not NaN")
                                                                : std::string();
      },
      "NUMBER");
  return command->add_option("--box", box, description)->expected(4)->check(notNaN);
}

namespace {

// False, with why printed, when `file` exists but is no regular file.
bool RegularOrMissing(const std::string& file) {
  struct stat info;
  if (::stat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return true;
  std::fprintf(stderr, "gaftool: %s: not a regular file; a Gaf set is made of regular files\n", file.c_str());
  return false;
}

}  // namespace

bool ResolveSet(const SetArgument& argument, SetPaths& paths, int& exitCode) {
  std::string error;
  if (!DeriveSetPaths(argument.dataFile, paths, error)) {
    std::fprintf(stderr, "gaftool: %s\n", error.c_str());
    exitCode = kExitUsage;
    return false;
  }
  if (!RegularOrMissing(paths.data)) {
    exitCode = kExitUsage;
    return false;
  }
  bool regular = true;
  for (const std::string& file : {paths.spatialIndex, paths.keyIndex, kro::JournalNameFor(paths.data)}) {
    regular = RegularOrMissing(file) && regular;
  }
  if (!regular) exitCode = kExitProblems;
  return regular;
}

bool InspectArgument(const SetArgument& argument, bool keepNodeBoxes, SetInspection& set, int& exitCode) {
  SetPaths paths;
  if (!ResolveSet(argument, paths, exitCode)) return false;
  TerminalProgress progress("checking " + paths.data, argument.quiet);
  InspectSet(paths, keepNodeBoxes, set, &progress);
  return true;
}

std::string KindName(uint32_t type) {
  static const char* const kNames[] = {"point", "multi-point", "polyline", "multi-polyline", "polygon", "multi-polygon"};
  return type < 6 ? kNames[type] : "kind " + std::to_string(type);
}

void PrintFindings(const FindingList& findings, std::FILE* out) {
  for (const Finding& f : findings.Kept()) {
    std::fprintf(out, "%s: offset %s: %s [%s]\n", f.file.c_str(), Hex(f.offset).c_str(), f.message.c_str(),
                 f.kind.c_str());
  }
  if (findings.Count() > findings.Kept().size()) {
    std::fprintf(out, "... and %llu more findings\n",
                 static_cast<unsigned long long>(findings.Count() - findings.Kept().size()));
  }
}

const Finding* FirstFindingOf(const FindingList& findings, const std::string& file) {
  for (const Finding& f : findings.Kept()) {
    if (f.file == file) return &f;
  }
  return nullptr;
}

void PrintDamage(const Finding& first, const char* advice) {
  std::fprintf(stderr, "gaftool: %s: damaged at offset %s: %s [%s]; %s\n", first.file.c_str(), Hex(first.offset).c_str(),
               first.message.c_str(), first.kind.c_str(), advice);
}

nlohmann::json FindingsJson(const FindingList& findings) {
  nlohmann::json list = nlohmann::json::array();
  for (const Finding& f : findings.Kept()) {
    list.push_back({{"file", f.file}, {"offset", f.offset}, {"kind", f.kind}, {"message", f.message}});
  }
  return list;
}

std::string JsonText(const nlohmann::json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json BoxJson(const BoundingBoxNode& box) { return nlohmann::json::array({box.xMin, box.yMin, box.xMax, box.yMax}); }

std::string DescribeRebuildFailure(uint32_t status, const SetPaths& set) {
  const uint32_t family = status & 0xFFFFF000u;
  const std::string& file = family == (kro::eSifCannotOpen & 0xFFFFF000u)   ? set.spatialIndex
                            : family == (kro::eKifCannotOpen & 0xFFFFF000u) ? set.keyIndex
                                                                            : set.data;
  return kro::ErrorOfStatus(status, file).Describe();
}

}  // namespace gaftool
