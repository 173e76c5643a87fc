// Pieces every subcommand shares: the set argument, names of object kinds,
// findings as text and as JSON.
#ifndef KRO_GAFTOOL_COMMANDSUPPORT_H
#define KRO_GAFTOOL_COMMANDSUPPORT_H

#include <CLI/CLI.hpp>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "InspectionNames.h"
#include "KroGafExportImport/KroGafExportImport.h"

namespace gaftool {

// Options every subcommand has.
struct SetArgument {
  std::string dataFile;
  bool quiet = false;
};

// A subcommand with the positional SET.gaf (must exist) and --quiet.
CLI::App* AddSetCommand(CLI::App& app, const char* name, const char* description, SetArgument& argument);

// --box X1 Y1 X2 Y2: four numbers, none of them NaN (an infinite corner is
// fine: it reaches as far as there is).
CLI::Option* AddBoxOption(CLI::App* command, std::vector<double>& box, const std::string& description);

// The set's file names; on a bad name prints why and sets the usage status.
// Every file of the set that exists must be a regular file: reading a FIFO
// or a device would wait or never end. A data file that is none is a usage
// error, an index or journal that is none a problem of the set.
bool ResolveSet(const SetArgument& argument, SetPaths& paths, int& exitCode);

// Resolves the set's names and inspects it; false, with the usage status
// set, for a bad name.
bool InspectArgument(const SetArgument& argument, bool keepNodeBoxes, SetInspection& set, int& exitCode);

// "point", "multi-point", ... "multi-polygon"; "kind N" for anything else.
std::string KindName(uint32_t type);

// One line per finding: "file: offset 0x..: message [kind]"; then the count
// of findings that were not kept.
void PrintFindings(const FindingList& findings, std::FILE* out);
nlohmann::json FindingsJson(const FindingList& findings);
// The first finding about `file`, or null when it has none.
const Finding* FirstFindingOf(const FindingList& findings, const std::string& file);
// "gaftool: FILE: damaged at offset 0x..: message [kind]; advice" for the
// first finding about `file`. REQUIRES: there is one.
void PrintDamage(const Finding& first, const char* advice);
nlohmann::json BoxJson(const BoundingBoxNode& box);
// The JSON text; bytes of a damaged text that are no UTF-8 become U+FFFD
// instead of stopping the output.
std::string JsonText(const nlohmann::json& value, int indent);

// "FILE: reason (status)" for the status of an index rebuild, which writes
// the files of `set`: the file is the one the status word's family names.
std::string DescribeRebuildFailure(uint32_t status, const SetPaths& set);

}  // namespace gaftool

#endif
