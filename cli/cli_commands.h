// The subcommands of tarv-cli. Each returns its exit code and leaves no port open.
#pragma once

#include "cli/cli_options.h"
#include "cli/run_context.h"

namespace cli {

int RunPorts(const CliOptions& options, RunContext& context);
int RunInfo(const CliOptions& options, RunContext& context);
int RunBackup(const CliOptions& options, RunContext& context);
int RunProgram(const CliOptions& options, RunContext& context);         // one encoder, its dry run, or --each
int RunProductionLoop(const CliOptions& options, RunContext& context);  // program --each

int RunCommand(const CliOptions& options, RunContext& context);

}  // namespace cli
