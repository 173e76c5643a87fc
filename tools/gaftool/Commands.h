// The subcommands of gaftool. Each Add...Command registers its options on the
// application and, when it runs, stores its exit status in `exitCode`:
// 0 success, 1 the set has problems (or the work failed), 2 a usage error.
#ifndef KRO_GAFTOOL_COMMANDS_H
#define KRO_GAFTOOL_COMMANDS_H

#include <CLI/CLI.hpp>

namespace gaftool {

enum ExitCode : int { kExitOk = 0, kExitProblems = 1, kExitUsage = 2 };

void AddInfoCommand(CLI::App& app, int& exitCode);
void AddVerifyCommand(CLI::App& app, int& exitCode);
void AddDumpCommand(CLI::App& app, int& exitCode);
void AddCompactCommand(CLI::App& app, int& exitCode);
void AddReindexCommand(CLI::App& app, int& exitCode);
void AddRepairCommand(CLI::App& app, int& exitCode);
void AddSortCommand(CLI::App& app, int& exitCode);
void AddRenderCommand(CLI::App& app, int& exitCode);

}  // namespace gaftool

#endif
