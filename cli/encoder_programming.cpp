#include "cli/encoder_programming.h"

#include <cstdio>

#include "cli/encoder_load.h"
#include "cli/port_connection.h"
#include "commands/json_lines.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "cli/stop_signals.h"
#include "commands/image_store.h"
#include "commands/program_command.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

std::string HexByte(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string KeepEncoderImage(const eeprom::Image& memory, ProgramRecord& record, const CliOptions& options,
                             RunContext& context)
{
    if (options.noBackup) return {};
    const store::KeptImage kept = store::KeepImage(context.dataFolder, memory, record.product.value_or(""),
                                                   record.serial.value_or(""), context.unixSecondsNow());
    if (kept.fileName.empty())
        return "cannot keep the encoder's image: " + kept.error + "; --no-backup goes on without it";
    record.image = kept.fileName;
    return {};
}

void WarnOfResolution(const SettingsRequest& request, bool quiet, RunContext& context)
{
    if (quiet || !request.resolution) return;
    const int row = request.resolution->row;
    if (ResolutionWarning(kResolutionRows.at(static_cast<size_t>(row))) == nullptr) return;
    context.err << "tarv-cli: warning: with " << ResolutionDesignation(row)
                << " the reference mark does not work, and an edge separation of 0.12 \u00B5s is not recommended\n";
}

std::string StoreProblem(const CliOptions& options, RunContext& context)
{
    if (options.noBackup || options.dryRun) return {};
    const std::string goOn = "; --no-backup goes on without it";
    if (const std::string error = store::MakeImagesFolder(context.dataFolder); !error.empty())
        return "cannot keep the encoder's image: " + error + goOn;
    if (const std::string error = store::CheckJournal(context.dataFolder); !error.empty())
        return "cannot append to the journal: " + error + goOn;
    return {};
}

BlockWritten BlockLines(const CliOptions& options, RunContext& context)
{
    if (!options.verbose) return {};
    return [&context](int address) {
        context.err << "tarv-cli: block " << HexByte(address) << " written\n" << std::flush;
    };
}

std::string ReasonOf(const ProgrammingReport& report)
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
        return "address " + HexByte(report.address) + " reads back " + HexByte(report.readBack[report.address]) +
               ", " + HexByte(report.written[report.address]) + " was written";
    case ProgramResult::NoDevice:
        return "no adapter";
    case ProgramResult::ReadFailed:
    case ProgramResult::Done:
        break;
    }
    return {};
}

ProgramRecord ProgramOneEncoder(const CliOptions& options, const std::string& port, RunContext& context)
{
    ProgramRecord record;
    record.port = port;
    const auto finish = [&](ExitCode code, std::string reason) {
        if (!reason.empty()) context.err << "tarv-cli: " << reason << "\n" << std::flush;
        record.code = code;
        record.reason = std::move(reason);
        record.time = UtcTimestamp(context.unixSecondsNow());
        return record;
    };

    // One read gives the product, the serial and the memory that is written: an encoder swapped
    // for another between two reads cannot be written with what was checked on the first.
    const auto abandoned = [&] {
        record.abandoned = true;
        return record;
    };
    if (context.stopSignal()) return abandoned();
    eeprom::Image memory{};
    const std::optional<EncoderReport> encoder = ReadEncoder(memory);
    if (context.stopSignal()) return abandoned();
    if (!encoder) return finish(ExitCode::ReadFailed, NoEncoderAnswers(port));
    record.product = encoder->product;
    record.serial = encoder->serial;
    record.before = encoder->settings;
    record.identity = IdentityOfImage(memory);
    if (RecordedProductModel() < 0) return finish(ExitCode::NotApplicable, "unknown product");

    const Checked<PickedRows> rows = ResolveRequest(options.settings, FamilyOfFlags(), StoredEdgeTableId());
    if (!rows.value) return finish(ExitCode::NotApplicable, rows.error);
    WarnOfResolution(options.settings, options.quiet, context);
    ApplyRequest(options.settings);

    if (std::string error = KeepEncoderImage(memory, record, options, context); !error.empty())
        return finish(ExitCode::RecordNotWritten, std::move(error));
    if (context.stopSignal()) return abandoned();  // the image is kept; the encoder is untouched
    const ProgrammingReport report = [&] {
        const EncoderInHand inHand;
        return ProgramLoadedEncoder(BlockLines(options, context));
    }();
    if (report.result == ProgramResult::Done || report.result == ProgramResult::VerificationFailed)
        record.after = DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags());
    return finish(ExitCodeOf(report.result), ReasonOf(report));
}

DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, bool quiet, const std::string& port,
                               RunContext& context)
{
    eeprom::Image memory{};
    const std::optional<EncoderReport> encoder = ReadEncoder(memory);
    if (!encoder) {
        context.err << "tarv-cli: " << NoEncoderAnswers(port) << "\n";
        return {ExitCode::ReadFailed, std::nullopt};
    }
    if (RecordedProductModel() < 0) {
        context.err << "tarv-cli: unknown product\n";
        return {ExitCode::NotApplicable, std::nullopt};
    }
    const Checked<PickedRows> rows = ResolveRequest(request, FamilyOfFlags(), StoredEdgeTableId());
    if (!rows.value) {
        context.err << "tarv-cli: " << rows.error << "\n";
        return {ExitCode::NotApplicable, std::nullopt};
    }
    WarnOfResolution(request, quiet, context);
    ApplyRequest(request);

    // What programming would write from this read.
    ConfigBytes edited = DeviceModel.ConfigBlock;
    PrepareProgramming(edited);
    const eeprom::Image image = ProgrammingImage();
    DryRunReport report{port,
                        encoder->product,
                        encoder->serial,
                        encoder->settings,
                        DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags()),
                        ImageChanges(memory, image)};
    return {ExitCode::Done, std::move(report)};
}

bool ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context)
{
    // The log first: it is the record that must survive a reader of the output going away.
    const std::string json = JsonLine(ProgramJson(record), context.tool);
    std::string failure;
    if (!options.logPath.empty()) failure = AppendLine(options.logPath, json);
    if (record.image) {
        // The journal has a line for every write whose image was kept.
        const std::string error = store::AppendToJournal(context.dataFolder, JournalEntryOf(record));
        if (failure.empty()) failure = error;
    }
    if (!options.quiet) context.out << (options.json ? json + "\n" : ProgramLine(record));
    // Also the -v lines and the messages before it: whoever reads them has the rest of the story.
    if (!StreamsWritten(context) && failure.empty()) failure = "the output cannot be written";
    if (failure.empty()) return true;
    context.err << "tarv-cli: the record of this encoder could not be written: " << failure << "\n" << std::flush;
    return false;
}

store::JournalEntry JournalEntryOf(const ProgramRecord& record)
{
    store::JournalEntry entry;
    entry.time = record.time;
    entry.program = "cli";
    entry.command = record.command;
    entry.port = record.port;
    entry.product = record.product.value_or("");
    entry.serial = record.serial.value_or("");
    entry.before = record.before;
    entry.after = record.after;
    entry.result = ResultWord(record.code);
    entry.image = record.image;
    return entry;
}

ExitCode WithRecord(ExitCode code, bool recorded)
{
    return !recorded && code == ExitCode::Done ? ExitCode::RecordNotWritten : code;
}

}  // namespace cli
