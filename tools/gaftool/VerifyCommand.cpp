// gaftool verify: every structural rule of the three files and the
// cross-checks between them; every finding is reported, not only the first.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CommandSupport.h"
#include "Commands.h"
#include "InspectionNames.h"

namespace gaftool {

void AddVerifyCommand(CLI::App& app, int& exitCode) {
  static SetArgument argument;
  static bool asJson = false;
  CLI::App* command = AddSetCommand(app, "verify", "check the three files and their agreement", argument);
  command->add_flag("--json", asJson, "one JSON object instead of text");
  command->callback([&exitCode]() {
    SetInspection set;
    if (!InspectArgument(argument, false, set, exitCode)) return;
    const SetPaths& paths = set.paths;
    if (asJson) {
      const nlohmann::json report = {{"set", paths.data},
                                     {"ok", set.findings.Empty()},
                                     {"objects", set.data.records.size()},
                                     {"problems", set.findings.Count()},
                                     {"findings", FindingsJson(set.findings)}};
      std::printf("%s\n", JsonText(report, 2).c_str());
    } else if (set.findings.Empty()) {
      std::printf("%s: ok: %zu objects, spatial index%s agree\n", paths.data.c_str(), set.data.records.size(),
                  set.hasKeyIndex ? " and key index" : "");
    } else {
      PrintFindings(set.findings, stdout);
      std::printf("%s: %llu problems\n", paths.data.c_str(), static_cast<unsigned long long>(set.findings.Count()));
    }
    exitCode = set.findings.Empty() ? kExitOk : kExitProblems;
  });
}

}  // namespace gaftool
