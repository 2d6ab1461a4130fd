// `program` on one encoder, or its dry run; --each goes to the production loop.
#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/like_file.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "commands/json_lines.h"

using namespace commands;

namespace cli {
namespace {

int DryRun(const CliOptions& options, RunContext& context)
{
    const DryRunOutcome outcome = DryRunOneEncoder(options.settings, options.quiet, PortLabel(options.port), context);
    if (outcome.report && !options.quiet)
        context.out << (options.json ? JsonLine(DryRunJson(*outcome.report), context.tool) + "\n"
                                     : DryRunText(*outcome.report));
    return AsInt(outcome.code);
}

int ProgramOnce(const CliOptions& options, RunContext& context)
{
    // A stop asked for before the encoder is read leaves it untouched; once read, it is finished.
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    const ProgramRecord record = ProgramOneEncoder(options, PortLabel(options.port), context);
    if (record.abandoned) return ExitCodeOfSignal(context.stopSignal());
    const bool recorded = ReportProgrammed(record, options, context);
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    return AsInt(WithRecord(record.code, recorded));
}

// The line's work on one port: program the encoder on its adapter, record it, and say which it was.
EncoderStep ProgramEachEncoder(const CliOptions& options, RunContext& context)
{
    return [&options, &context](const EncoderSeen& seen) {
        const ProgramRecord record = ProgramOneEncoder(options, PortLabel(options.port), context);
        if (record.abandoned) return EncoderDone{record.code, true, true};
        if (record.identity) seen(*record.identity);
        return EncoderDone{record.code, ReportProgrammed(record, options, context)};
    };
}

}  // namespace

int RunProgram(const CliOptions& given, RunContext& givenContext)
{
    CliOptions options = given;
    if (!options.likePath.empty()) {
        Checked<SettingsRequest> like = SettingsLike(options.likePath, options.settings);
        if (!like.value) {
            givenContext.err << "tarv-cli: " << like.error << "\n";
            return AsInt(ExitCode::BadArguments);
        }
        options.settings = *like.value;
    }
    // Opened once and checked before the port: a FIFO's reader sees one stream, and a --log that
    // cannot be written stops the command before an encoder is touched.
    std::optional<LineLog> log;
    RunContext context = givenContext;
    if (!options.logPath.empty()) {
        log.emplace(options.logPath, WaitBeforeWriting(context));
        if (!log->error().empty()) {
            if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
            context.err << "tarv-cli: --log: " << log->error() << "\n";
            return AsInt(ExitCode::BadArguments);
        }
        context.log = &*log;
    }
    if (const std::optional<int> refused = StoreRefusal(options, context)) return *refused;
    if (options.each) return RunProductionLine(options, context, ProgramEachEncoder);
    const AdapterPort adapter(options.port, context);
    if (!adapter.Open()) return UnlessStopped(context, AsInt(adapter.Code()));
    return options.dryRun ? DryRun(options, context) : ProgramOnce(options, context);
}

}  // namespace cli
