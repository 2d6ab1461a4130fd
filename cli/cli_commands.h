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
// The work of a line for one port: made for each port's own options and context.
using StepFor = std::function<EncoderStep(const CliOptions& options, RunContext& context)>;
// The production line (--each): on one port, or on several at once (each with its own thread and
// its own step), until a stop signal, --count encoders done ok over all ports, or a lost record.
// Its summary goes to `context.err`: one line per port and a total when there are several.
int RunProductionLine(const CliOptions& options, RunContext& context, const StepFor& stepFor);
// The line on one port with the same work for every encoder (the tests' own steps).
int RunProductionLoop(const CliOptions& options, RunContext& context, const EncoderStep& step);

int RunCommand(const CliOptions& options, RunContext& context);

}  // namespace cli
