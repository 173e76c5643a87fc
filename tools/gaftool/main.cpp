// gaftool: inspect, verify, query, compact, re-index, repair and draw a Gaf
// file set from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"gaftool: inspect, verify, query, compact, re-index, repair and draw a Gaf file set"};
  app.require_subcommand(1);
  int exitCode = gaftool::kExitOk;
  gaftool::AddInfoCommand(app, exitCode);
  gaftool::AddVerifyCommand(app, exitCode);
  gaftool::AddDumpCommand(app, exitCode);
  gaftool::AddCompactCommand(app, exitCode);
  gaftool::AddReindexCommand(app, exitCode);
  gaftool::AddRepairCommand(app, exitCode);
  gaftool::AddSortCommand(app, exitCode);
  gaftool::AddRenderCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version are "errors" with exit status 0.
    const int status = app.exit(e);
    return status == 0 ? gaftool::kExitOk : gaftool::kExitUsage;
  }
  return exitCode;
}
