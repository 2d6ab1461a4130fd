#include "cli/encoder_programming.h"

#include <vector>

#include "cli/joined.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "cli/stop_signals.h"
#include "commands/json_lines.h"
#include "commands/programming_plan.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"
#include "commands/hex_text.h"

using namespace commands;

namespace cli {
namespace {

std::string HexByte(int value)
{
    return HexNumber(static_cast<unsigned>(value));
}

// On one of several ports, a stop that came while the encoder is in hand is told on the port's
// own line, as soon as its write notices it.
void TellStopOnThisPort(const CliOptions& options, RunContext& context)
{
    if (options.onePortOfMany && !options.quiet && context.stopSignal() != 0 && StopUntoldHere())
        context.err << kStopping << std::flush;
}

// Hears each block written: a stop is told there, and with -v a line goes to `context.err`.
BlockWritten BlockLines(const CliOptions& options, RunContext& context)
{
    return [&options, &context](int address) {
        TellStopOnThisPort(options, context);
        if (options.verbose) context.err << "tarv-cli: block " << HexByte(address) << " written\n" << std::flush;
    };
}

// Why a write did not end with an encoder that holds the image, in a few words; empty for Done.
std::string ReasonOf(const ProgrammingReport& report, const StoreWitness& store)
{
    const std::string block = "block " + HexByte(report.address);
    switch (report.result) {
    case ProgramResult::Refused:
        return block + " was refused; the blocks before it are written";
    case ProgramResult::NoAnswer:
        return block + " was not answered; the blocks before it are written";
    case ProgramResult::ReadBackFailed:
        return "all blocks were written, but reading them back failed: not verified";
    case ProgramResult::VerificationFailed:
        return "address " + HexByte(report.address) + " reads back " + HexByte(report.readBack[report.address]) + ", " +
               HexByte(report.written[report.address]) + " was written";
    case ProgramResult::NoDevice:
        return "no adapter";
    case ProgramResult::NotKept:
        return "cannot keep the encoder's image: " + store.KeepError() + "; --no-backup goes on without it";
    case ProgramResult::ReadFailed:
    case ProgramResult::Done:
        break;
    }
    return {};
}

// Ends the record: its result, why, and when; the reason is told on `context.err`.
void Finish(ProgramRecord& record, ExitCode code, std::string reason, RunContext& context, std::string time = {})
{
    if (!reason.empty()) context.err << "tarv-cli: " << reason << "\n" << std::flush;
    record.code = code;
    record.reason = std::move(reason);
    record.time = time.empty() ? UtcTimestamp(context.unixSecondsNow()) : std::move(time);
}

// Why the image store cannot keep the write about to begin; empty when it can.
std::string StoreProblem(const CliOptions& options, RunContext& context)
{
    if (options.noBackup || options.dryRun) return {};
    const std::string goOn = "; --no-backup goes on without it";
    if (const std::string error = store::MakeImagesFolder(context.dataFolder); !error.empty())
        return "cannot keep the encoder's image: " + error + goOn;
    if (const std::string error = store::CheckJournal(context.dataFolder, WaitBeforeWriting(context)); !error.empty())
        return "cannot append to the journal: " + error + goOn;
    return {};
}

// The encoder read once and the change planned on it, as programming and its dry run both begin.
// A change that applies is warned of here; a failure's reason is the caller's to tell.
struct PlannedRead {
    eeprom::Image memory{};
    std::optional<ProgrammingPlan> plan;  // after a read, whether or not the change applies
    bool stopped = false;                 // with OnStop::Abandon, a stop came before or during the read
    ExitCode code = ExitCode::Done;       // ReadFailed or NotApplicable when it goes no further
    std::string reason;
};

// Whether a stop before or during the read abandons the encoder (programming's record), or the
// read goes on to its plan (a dry run, which writes nothing).
enum class OnStop { GoOn, Abandon };

PlannedRead ReadAndPlan(const SettingsRequest& request, bool quiet, const std::string& port, OnStop onStop,
                        RunContext& context)
{
    PlannedRead planned;
    const auto stopping = [&] { return onStop == OnStop::Abandon && context.stopSignal() != 0; };
    if (stopping()) {
        planned.stopped = true;
        return planned;
    }
    const bool read = ReadWholeMemory(planned.memory) == 1;
    if (stopping()) {
        planned.stopped = true;
        return planned;
    }
    if (!read) {
        planned.code = ExitCode::ReadFailed;
        planned.reason = ReadFailureText(port, LastReadFailure());
        return planned;
    }
    planned.plan = PlanProgramming(planned.memory, request.change, platform::host().Today());
    if (planned.plan->refusal) {
        planned.code = ExitCode::NotApplicable;
        planned.reason = RefusalText(*planned.plan->refusal, request, planned.plan->lists);
        return planned;
    }
    WarnOfResolution(request.change, quiet, context);
    return planned;
}

}  // namespace

void WriteEncoder(const eeprom::Image& image, const eeprom::Image& read, ProgramRecord& record,
                  const CliOptions& options, RunContext& context)
{
    if (context.stopSignal() || !context.mayBegin()) {
        record.abandoned = true;  // the encoder is untouched
        return;
    }
    StoreWitness store(context.dataFolder, "cli", {context.err, "tarv-cli"},
                       options.noBackup ? WitnessPolicy::None : WitnessPolicy::Required, context.unixSecondsNow);
    store.WaitForLocksAs(WaitAfterWriting(context));
    const WrittenEncoder encoder{record.command, record.port, record.product.value_or(""), record.serial.value_or(""),
                                 record.before.value_or(SettingsReport{})};
    const ProgrammingReport report = [&] {
        const EncoderInHand inHand;
        ProgrammingReport written = WriteAndVerify(image, encoder, read, &store, BlockLines(options, context));
        TellStopOnThisPort(options, context);  // one that came during the read-back
        return written;
    }();
    record.image = store.LastImage();
    record.journalError = store.JournalError();
    record.after = report.after;
    Finish(record, ExitCodeOf(report.result), ReasonOf(report, store), context, store.LastTime());
}

void WarnOfResolution(const SettingsChange& change, bool quiet, RunContext& context)
{
    if (quiet || !change.resolution) return;
    const int row = change.resolution->row;
    if (ResolutionWarning(kResolutionRows.at(static_cast<size_t>(row))) == nullptr) return;
    context.err << "tarv-cli: warning: with " << ResolutionDesignation(row)
                << " the reference mark does not work, and an edge separation of 0.12 \u00B5s is not recommended\n";
}

std::optional<int> StoreRefusal(const CliOptions& options, RunContext& context)
{
    const std::string problem = StoreProblem(options, context);
    if (problem.empty()) return std::nullopt;
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    context.err << "tarv-cli: " << problem << "\n";
    return AsInt(ExitCode::RecordNotWritten);
}

ProgramRecord ProgramOneEncoder(const CliOptions& options, const std::string& port, RunContext& context)
{
    ProgramRecord record;
    record.port = port;
    // One read gives the product, the serial and the memory that is written: an encoder swapped
    // for another between two reads cannot be written with what was checked on the first.
    const PlannedRead planned = ReadAndPlan(options.settings, options.quiet, port, OnStop::Abandon, context);
    if (planned.stopped) {
        record.abandoned = true;
        return record;
    }
    if (planned.plan) {
        record.product = planned.plan->encoder.product;
        record.serial = planned.plan->encoder.serial;
        record.before = planned.plan->encoder.settings;
        record.identity = IdentityOfImage(planned.memory);
    }
    if (planned.code != ExitCode::Done) {
        Finish(record, planned.code, planned.reason, context);
        return record;
    }
    WriteEncoder(planned.plan->image, planned.memory, record, options, context);
    return record;
}

DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, bool quiet, const std::string& port, RunContext& context)
{
    const PlannedRead planned = ReadAndPlan(request, quiet, port, OnStop::GoOn, context);
    if (planned.code != ExitCode::Done) {
        context.err << "tarv-cli: " << planned.reason << "\n";
        return {planned.code, std::nullopt};
    }
    const ProgrammingPlan& plan = *planned.plan;
    DryRunReport report{port,
                        plan.encoder.product,
                        plan.encoder.serial,
                        plan.encoder.settings,
                        plan.after,
                        ImageChanges(planned.memory, plan.image)};
    return {ExitCode::Done, std::move(report)};
}

bool ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context)
{
    // The log first: it is the record that must survive a reader of the output going away.
    const std::string json = JsonLine(ProgramJson(record), context.tool);
    std::vector<std::string> failures;  // each names its file
    if (context.log != nullptr)
        failures.push_back(context.log->Append(json, WaitAfterWriting(context)));
    else if (!options.logPath.empty())
        failures.push_back(
            AppendLine(options.logPath, json, platform::AppendTarget::AnyFile, WaitAfterWriting(context)));
    failures.push_back(record.journalError);
    if (!options.quiet) context.out << (options.json ? json + "\n" : ProgramLine(record));
    // Also the -v lines and the messages before it: whoever reads them has the rest of the story.
    if (!StreamsWritten(context)) failures.push_back("the output cannot be written");
    std::erase(failures, std::string());
    if (failures.empty()) return true;
    context.err << "tarv-cli: the record of this encoder could not be written: " << Joined(failures, "; ") << "\n"
                << std::flush;
    return false;
}

ExitCode WithRecord(ExitCode code, bool recorded)
{
    return !recorded && code == ExitCode::Done ? ExitCode::RecordNotWritten : code;
}

}  // namespace cli
