// The subcommands of tarv-cli. Each returns its exit code and leaves no port open.
#pragma once

#include <functional>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/run_context.h"
#include "link/encoder_identity.h"

namespace cli {

int RunPorts(const CliOptions& options, RunContext& context);
int RunInfo(const CliOptions& options, RunContext& context);
int RunBackup(const CliOptions& options, RunContext& context);
int RunProgram(const CliOptions& options, RunContext& context);         // one encoder, its dry run, or --each
int RunProductionLoop(const CliOptions& options, RunContext& context);  // program --each
int RunRestore(const CliOptions& options, RunContext& context);
int RunVerify(const CliOptions& options, RunContext& context);  // one encoder, or --each
int RunHistory(const CliOptions& options, RunContext& context);

// What the production line did with one encoder: its result, and whether its record was written.
struct EncoderDone {
    ExitCode code = ExitCode::Done;
    bool recorded = true;
    bool abandoned = false;  // a stop came before anything was written: nothing to count or tell
};
// Does the line's work on the encoder on the adapter; calls `seen` with the identity that its read
// found once the encoder has been read (and so is the one to wait for to be taken off), before its
// line goes out.
using EncoderSeen = std::function<void(const EncoderIdentity&)>;
using EncoderStep = std::function<EncoderDone(const EncoderSeen& seen)>;
// The production line's loop (--each) with its own work for each encoder.
int RunProductionLoop(const CliOptions& options, RunContext& context, const EncoderStep& step);

int RunCommand(const CliOptions& options, RunContext& context);

}  // namespace cli
