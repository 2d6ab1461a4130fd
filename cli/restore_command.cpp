// `restore FILE`: writes an image back into the encoder it belongs to, exactly as the file holds
// it (no date stamped), and verifies all 128 bytes. The encoder's image as it was goes to the
// store first, so a restore can itself be undone.
#include "cli/cli_commands.h"
#include "cli/encoder_load.h"
#include "cli/encoder_programming.h"
#include "cli/image_file.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "cli/stop_signals.h"
#include "commands/program_command.h"
#include "commands/settings_codec.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"

namespace cli {
namespace {

struct ImageToRestore {
    eeprom::Image bytes{};
    EncoderReport report;
};

// The file, if it is an image that may be written: 128 bytes whose checksums hold (unless
// --force); else the exit code, told on `context.err`.
std::optional<ImageToRestore> CheckedImage(const CliOptions& options, RunContext& context, ExitCode& code)
{
    code = ExitCode::BadArguments;
    const FileContents file = ReadInputFile(options.imageFile, eeprom::kImageSize);
    if (!file.error.empty()) {
        context.err << "tarv-cli: " << file.error << "\n";
        return std::nullopt;
    }
    const std::optional<eeprom::Image> image = AsImage(file.bytes);
    if (!image) {
        context.err << "tarv-cli: " << options.imageFile << " holds " << file.bytes.size()
                    << " bytes; an encoder's image holds 128\n";
        return std::nullopt;
    }
    LoadEncoder(*image);
    ImageToRestore restore{*image, DescribeEncoder(*image)};
    const char* broken = !restore.report.configCrcOk        ? "settings CRC"
                         : !restore.report.recordChecksumOk ? "record checksum"
                                                            : nullptr;
    if (broken != nullptr && !options.force) {
        context.err << "tarv-cli: " << options.imageFile << ": its " << broken
                    << " does not hold (--force writes it all the same)\n";
        return std::nullopt;
    }
    code = ExitCode::Done;
    return restore;
}

std::string Identity(const EncoderReport& encoder)
{
    return encoder.product + " " + encoder.serial;
}

int Finish(ExitCode code)
{
    ClosePort();
    return AsInt(code);
}

// Asked to stop before the first block: the encoder is left as it is.
int Stopped(const RunContext& context)
{
    ClosePort();
    return ExitCodeOfSignal(context.stopSignal());
}

}  // namespace

int RunRestore(const CliOptions& options, RunContext& context)
{
    ExitCode code = ExitCode::Done;
    const std::optional<ImageToRestore> image = CheckedImage(options, context, code);
    if (!image) return AsInt(code);
    if (const std::string problem = StoreProblem(options, context); !problem.empty()) {
        context.err << "tarv-cli: " << problem << "\n";
        return AsInt(ExitCode::RecordNotWritten);
    }
    if (code = ConnectAdapter(options.port, context); code != ExitCode::Done)
        return UnlessStopped(context, AsInt(code));
    if (context.stopSignal()) return Stopped(context);  // asked to stop before the encoder was read: untouched

    eeprom::Image memory{};
    const std::optional<EncoderReport> read = ReadEncoder(memory);
    if (!read) {
        if (context.stopSignal()) return Stopped(context);
        context.err << "tarv-cli: " << NoEncoderAnswers(options.port) << "\n";
        return Finish(ExitCode::ReadFailed);
    }
    const EncoderReport& encoder = *read;
    // By the bytes, never by their display text, which shows every control byte as '?'.
    if (!SameEncoder(IdentityOfImage(memory), IdentityOfImage(image->bytes)) && !options.force) {
        const bool lookAlike = Identity(encoder) == Identity(image->report);
        context.err << "tarv-cli: the image belongs to " << Identity(image->report) << ", the encoder is "
                    << Identity(encoder) << (lookAlike ? " (the same text, other bytes)" : "") << "\n";
        return Finish(ExitCode::ImageOfAnotherEncoder);
    }
    const std::string port = PortLabel(options.port);
    if (options.dryRun) {
        DryRunReport report{port,          encoder.product, encoder.serial, encoder.settings, image->report.settings,
                            ImageChanges(memory, image->bytes), "restore"};
        if (!options.quiet)
            context.out << (options.json ? JsonLine(DryRunJson(report), context.tool) + "\n" : DryRunText(report));
        return Finish(ExitCode::Done);
    }

    ProgramRecord record;
    record.command = "restore";
    record.port = port;
    record.product = encoder.product;
    record.serial = encoder.serial;
    record.before = encoder.settings;
    const auto finish = [&](ExitCode result, std::string reason) {
        if (!reason.empty()) context.err << "tarv-cli: " << reason << "\n" << std::flush;
        record.code = result;
        record.reason = std::move(reason);
        record.time = UtcTimestamp(context.unixSecondsNow());
        const bool recorded = ReportProgrammed(record, options, context);
        ClosePort();
        if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
        return AsInt(WithRecord(result, recorded));
    };
    if (std::string error = KeepEncoderImage(memory, record, options, context); !error.empty())
        return finish(ExitCode::RecordNotWritten, std::move(error));
    if (context.stopSignal()) return Stopped(context);
    const ProgrammingReport report = [&] {
        const EncoderInHand inHand;
        return WriteAndVerify(image->bytes, BlockLines(options, context));
    }();
    if (report.result == ProgramResult::Done || report.result == ProgramResult::VerificationFailed) {
        LoadEncoder(report.readBack);
        record.after = DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags());
    }
    return finish(ExitCodeOf(report.result), ReasonOf(report));
}

}  // namespace cli
