// `restore FILE`: writes an image back into the encoder it belongs to, exactly as the file holds
// it (no date stamped), and verifies all 128 bytes. The encoder's image as it was goes to the
// store first, so a restore can itself be undone.
#include <span>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/image_file.h"
#include "cli/joined.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "commands/program_command.h"
#include "commands/restore_plan.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"
#include "commands/hex_text.h"

using namespace commands;

namespace cli {
namespace {

const char* ChecksumName(ImageFault fault)
{
    return fault == ImageFault::SettingsCrcBroken ? "settings CRC" : "record checksum";
}

// The file, if it is an image that may be written; else the exit code, told on `context.err`.
std::optional<ImageToRestore> CheckedImage(const CliOptions& options, RunContext& context, ExitCode& code)
{
    code = ExitCode::BadArguments;
    const FileContents file = ReadInputFile(options.imageFile, eeprom::kImageSize);
    if (!file.error.empty()) {
        context.err << "tarv-cli: " << file.error << "\n";
        return std::nullopt;
    }
    const ImageToRestore image = CheckImageToRestore(file.bytes, options.force);
    if (image.fault == ImageFault::WrongSize) {
        context.err << "tarv-cli: " << options.imageFile << " holds " << image.size
                    << " bytes; an encoder's image holds 128\n";
        return std::nullopt;
    }
    if (image.fault) {
        context.err << "tarv-cli: " << options.imageFile << ": its " << ChecksumName(*image.fault)
                    << " does not hold (--force writes it all the same)\n";
        return std::nullopt;
    }
    code = ExitCode::Done;
    return image;
}

std::string Identity(const EncoderReport& encoder)
{
    return encoder.product + " " + encoder.serial;
}

std::string CounterText(uint16_t counter)
{
    return HexNumber(counter, 4) + " (" + std::to_string(counter) + ")";
}

// The identity bytes in which two encoders that read alike as text differ, in hex.
std::string BytesThatDiffer(const RestorePlan& plan)
{
    const EncoderIdentity& image = plan.ofImage;
    const EncoderIdentity& encoder = plan.onEncoder;
    const auto bytes = [](const char* field, std::span<const uint8_t> inImage, std::span<const uint8_t> onEncoder) {
        return std::string(field) + " " + HexBytes(inImage) + " in the image, " + HexBytes(onEncoder) +
               " on the encoder";
    };
    std::vector<std::string> parts;
    for (const IdentityField field : plan.differing) {
        switch (field) {
        case IdentityField::Product:
            parts.push_back(bytes("product", image.product, encoder.product));
            break;
        case IdentityField::Serial:
            parts.push_back(bytes("serial", image.serial, encoder.serial));
            break;
        case IdentityField::Format1Counter:
            parts.push_back("format-1 counter " + CounterText(*image.format1Counter) + " in the image, " +
                            CounterText(*encoder.format1Counter) + " on the encoder");
            break;
        }
    }
    return Joined(parts, "; ");
}

// Why the image may not go into this encoder, naming both; the bytes too where the texts agree.
std::string OtherEncoderText(const EncoderReport& image, const RestorePlan& plan)
{
    std::string text = "the image belongs to " + Identity(image) + ", the encoder is " + Identity(plan.encoder);
    if (plan.sameText) text += " (the same text, other bytes: " + BytesThatDiffer(plan) + ")";
    return text;
}

// Prints the record of a restore that ended before its first block, as program does.
int Refused(ProgramRecord& record, ExitCode code, const std::string& reason, const CliOptions& options,
            RunContext& context)
{
    context.err << "tarv-cli: " << reason << "\n" << std::flush;
    record.code = code;
    record.reason = reason;
    record.time = UtcTimestamp(context.unixSecondsNow());
    return AsInt(WithRecord(code, ReportProgrammed(record, options, context)));
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

    const std::string port = adapter.Label();
    ProgramRecord record;
    record.command = "restore";
    record.port = port;
    eeprom::Image memory{};
    if (ReadWholeMemory(memory) == 0) {
        if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
        return Refused(record, ExitCode::ReadFailed, ReadFailureText(options.port, LastReadFailure()), options,
                       context);
    }
    const RestorePlan plan = PlanRestore(memory, *image, options.force);
    const EncoderReport& encoder = plan.encoder;
    record.product = encoder.product;
    record.serial = encoder.serial;
    record.before = encoder.settings;
    if (plan.anotherEncoder)
        return Refused(record, ExitCode::ImageOfAnotherEncoder, OtherEncoderText(image->report, plan), options,
                       context);
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

    WriteEncoder(image->bytes, memory, record, options, context);
    if (record.abandoned) return ExitCodeOfSignal(context.stopSignal());
    const bool recorded = ReportProgrammed(record, options, context);
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    return AsInt(WithRecord(record.code, recorded));
}

}  // namespace cli
