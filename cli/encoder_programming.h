// `program` on the one encoder that is on the adapter: read it, let the command core plan the
// write of the requested settings and say whether they apply, then write through the core's one
// write path (or, for a dry run, report the plan).
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/program_record.h"
#include "cli/run_context.h"
#include "commands/program_command.h"

namespace cli {

// The adapter's port must be open. An encoder that is not written says why on `context.err` and
// in the record's reason. With `options.verbose` each written block gets a line on `context.err`.
ProgramRecord ProgramOneEncoder(const CliOptions& options, const std::string& port, RunContext& context);

struct DryRunOutcome {
    ExitCode code = ExitCode::Done;
    std::optional<DryRunReport> report;  // when the code is Done
};
DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, bool quiet, const std::string& port,
                               RunContext& context);

// Writes `image` over the encoder read as `read` through the command core's write path, with a
// store witness of its own that keeps its image as tarv-cli's policy wants (required, or none with
// --no-backup), and fills the record's ending; the stop signals wait for it.
void WriteEncoder(const eeprom::Image& image, const eeprom::Image& read, ProgramRecord& record,
                  const CliOptions& options, RunContext& context);

// The window asks before the two coarsest resolutions; a command line has chosen already, and is
// told what they cost (unless quiet).
void WarnOfResolution(const commands::SettingsChange& change, bool quiet, RunContext& context);

// Whether the image store can keep the encoder's image and journal the write that is about to
// begin (nothing to check with --no-backup or a dry run, which keep nothing): none when it can,
// else the exit code that stops the command before an encoder is touched, the reason told on
// `err`. A stop that ended the wait for the journal's lock ends the command as a stop does.
std::optional<int> StoreRefusal(const CliOptions& options, RunContext& context);

// Appends the record to the --log file and prints it (a line of text or of JSON); false, told on
// `context.err` with each one named, when the log, the journal line of its write or the output
// could not be written.
bool ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context);

// An encoder whose record could not be written is not done: a result of 0 becomes
// RecordNotWritten, and a failure keeps its own code.
ExitCode WithRecord(ExitCode code, bool recorded);

}  // namespace cli
