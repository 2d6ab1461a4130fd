// `restore FILE`: writes an image back into the encoder it belongs to, exactly as the file holds
// it (no date stamped), and verifies all 128 bytes. The encoder's image as it was goes to the
// store first, so a restore can itself be undone.
#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/image_file.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "commands/program_command.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"

using namespace commands;

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

}  // namespace

int RunRestore(const CliOptions& options, RunContext& context)
{
    ExitCode code = ExitCode::Done;
    const std::optional<ImageToRestore> image = CheckedImage(options, context, code);
    if (!image) return AsInt(code);
    if (const std::optional<int> refused = StoreRefusal(options, context)) return *refused;
    const AdapterPort adapter(options.port, context);
    if (!adapter.Open()) return UnlessStopped(context, AsInt(adapter.Code()));
    // Asked to stop before the encoder was read: it is left as it is.
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);

    eeprom::Image memory{};
    if (ReadWholeMemory(memory) == 0) {
        if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
        context.err << "tarv-cli: " << NoEncoderAnswers(options.port) << "\n";
        return AsInt(ExitCode::ReadFailed);
    }
    const EncoderReport encoder = DescribeEncoder(memory);
    // By the bytes, never by their display text, which shows every control byte as '?'.
    if (!SameEncoder(IdentityOfImage(memory), IdentityOfImage(image->bytes)) && !options.force) {
        const bool lookAlike = Identity(encoder) == Identity(image->report);
        context.err << "tarv-cli: the image belongs to " << Identity(image->report) << ", the encoder is "
                    << Identity(encoder) << (lookAlike ? " (the same text, other bytes)" : "") << "\n";
        return AsInt(ExitCode::ImageOfAnotherEncoder);
    }
    const std::string port = adapter.Label();
    if (options.dryRun) {
        DryRunReport report{port,
                            encoder.product,
                            encoder.serial,
                            encoder.settings,
                            image->report.settings,
                            ImageChanges(memory, image->bytes),
                            "restore"};
        if (!options.quiet)
            context.out << (options.json ? JsonLine(DryRunJson(report), context.tool) + "\n" : DryRunText(report));
        return AsInt(ExitCode::Done);
    }

    ProgramRecord record;
    record.command = "restore";
    record.port = port;
    record.product = encoder.product;
    record.serial = encoder.serial;
    record.before = encoder.settings;
    WriteEncoder(image->bytes, memory, record, options, context);
    if (record.abandoned) return ExitCodeOfSignal(context.stopSignal());
    const bool recorded = ReportProgrammed(record, options, context);
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    return AsInt(WithRecord(record.code, recorded));
}

}  // namespace cli
