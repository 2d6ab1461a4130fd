// `program` on the one encoder that is on the adapter: read it, check that its product is known,
// resolve the requested settings against its own lists, then write them through the command core
// (or, for a dry run, everything up to the image that would be written).
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/program_record.h"
#include "cli/run_context.h"

namespace cli {

// The adapter's port must be open. An encoder that is not written says why on `context.err` and
// in the record's reason. With `options.verbose` each written block gets a line on `context.err`.
ProgramRecord ProgramOneEncoder(const CliOptions& options, const std::string& port, RunContext& context);

struct DryRunOutcome {
    ExitCode code = ExitCode::Done;
    std::optional<DryRunReport> report;  // when the code is Done
};
DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, const std::string& port, RunContext& context);

// Appends the record to the --log file, then prints it (a line of text or of JSON); false, told
// on `context.err`, when either could not be written.
bool ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context);

// An encoder whose record could not be written is not done: a result of 0 becomes
// RecordNotWritten, and a failure keeps its own code.
ExitCode WithRecord(ExitCode code, bool recorded);

}  // namespace cli
