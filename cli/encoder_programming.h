// `program` on the one encoder that is on the adapter: read it, check that its product is known,
// resolve the requested settings against its own lists, then write them through the command core
// (or, for a dry run, everything up to the image that would be written).
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/program_record.h"
#include "cli/run_context.h"
#include "commands/image_store.h"
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

// The window asks before the two coarsest resolutions; a command line has chosen already, and is
// told what they cost (unless quiet).
void WarnOfResolution(const SettingsRequest& request, bool quiet, RunContext& context);

// Keeps `memory` in the image store and names it in the record, unless --no-backup; empty when
// the write may go on, else why it may not.
std::string KeepEncoderImage(const eeprom::Image& memory, ProgramRecord& record, const CliOptions& options,
                             RunContext& context);

// Whether the image store can keep the encoder's image and journal the write that is about to
// begin (nothing to check with --no-backup or a dry run, which keep nothing); empty when it can,
// else the message that stops the command before an encoder is touched.
std::string StoreProblem(const CliOptions& options, RunContext& context);

// With -v, a line on `context.err` for each block written.
BlockWritten BlockLines(const CliOptions& options, RunContext& context);

// Why a write did not end with an encoder that holds the image, in a few words; empty for Done.
std::string ReasonOf(const ProgrammingReport& report);

// The journal's line of a write whose image was kept.
store::JournalEntry JournalEntryOf(const ProgramRecord& record);

// Appends the record to the --log file and the journal, then prints it (a line of text or of JSON); false, told
// on `context.err`, when either could not be written.
bool ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context);

// An encoder whose record could not be written is not done: a result of 0 becomes
// RecordNotWritten, and a failure keeps its own code.
ExitCode WithRecord(ExitCode code, bool recorded);

}  // namespace cli
