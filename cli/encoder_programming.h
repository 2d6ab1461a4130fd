// `program` on the one encoder that is on the adapter: read it, resolve the requested settings
// against its own lists, then PROG's whole sequence through the command core (or, for a dry run,
// everything up to the image that PROG would write).
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/program_record.h"
#include "cli/run_context.h"

namespace cli {

// The adapter's port must be open. A setting that does not apply is told on `context.err`, and
// the encoder is left alone.
ProgramRecord ProgramOneEncoder(const SettingsRequest& request, const std::string& port, RunContext& context);

struct DryRunOutcome {
    ExitCode code = ExitCode::Done;
    std::optional<DryRunReport> report;  // when the code is Done
};
DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, const std::string& port, RunContext& context);

// Prints the record (a line of text or of JSON) and appends it to the --log file.
void ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context);

}  // namespace cli
