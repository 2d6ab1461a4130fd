#include "cli/encoder_programming.h"

#include "cli/encoder_load.h"
#include "cli/program_log.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "commands/program_command.h"
#include "commands/read_command.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

// Reads the whole memory and loads it; nullopt (already reported by the link) when the read failed.
std::optional<EncoderReport> ReadEncoder(eeprom::Image& memory)
{
    if (ReadWholeMemory(memory) == 0) return std::nullopt;
    LoadEncoder(memory);
    return DescribeEncoder(memory);
}

// The rows the request picks on the encoder just loaded, told on `err` when a setting does not apply.
std::optional<PickedRows> ResolveOnEncoder(const SettingsRequest& request, RunContext& context)
{
    Checked<PickedRows> rows = ResolveRequest(request, FamilyOfFlags(), DeviceModel.EdgeTableId);
    if (!rows.value) context.err << "tarv-cli: " << rows.error << "\n";
    return rows.value;
}

}  // namespace

ProgramRecord ProgramOneEncoder(const SettingsRequest& request, const std::string& port, RunContext& context)
{
    ProgramRecord record;
    record.port = port;
    const auto finish = [&](ExitCode code) {
        record.code = code;
        record.time = UtcTimestamp(context.unixSecondsNow());
        return record;
    };

    eeprom::Image memory{};
    const std::optional<EncoderReport> encoder = ReadEncoder(memory);
    if (!encoder) return finish(ExitCode::ReadFailed);
    record.product = encoder->product;
    record.serial = encoder->serial;
    record.before = encoder->settings;

    const std::optional<PickedRows> rows = ResolveOnEncoder(request, context);
    if (!rows) return finish(ExitCode::NotApplicable);
    PickRows(*rows);

    bool readBack = false;
    const ProgramResult result = ProgramEncoder([&readBack] { readBack = RefreshDeviceModel(); });
    if (!AllBlocksWritten(result)) return finish(ExitCodeOf(result));
    // PROG compares what the read-back left in DeviceModel; a read-back that failed left the
    // written values there, which would compare equal. Unread is not verified.
    if (!readBack) {
        context.err << "tarv-cli: all blocks were written, but reading them back failed: not verified\n";
        return finish(ExitCode::VerificationFailed);
    }
    record.after = DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags());
    return finish(ExitCodeOf(result));
}

DryRunOutcome DryRunOneEncoder(const SettingsRequest& request, const std::string& port, RunContext& context)
{
    eeprom::Image memory{};
    const std::optional<EncoderReport> encoder = ReadEncoder(memory);
    if (!encoder) return {ExitCode::ReadFailed, std::nullopt};
    const std::optional<PickedRows> rows = ResolveOnEncoder(request, context);
    if (!rows) return {ExitCode::NotApplicable, std::nullopt};
    PickRows(*rows);

    // What PROG would write if this read were its fresh read.
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

void ReportProgrammed(const ProgramRecord& record, const CliOptions& options, RunContext& context)
{
    // The log first: it is the record that must survive a reader of the output going away.
    const std::string json = JsonLine(ProgramJson(record));
    if (!options.logPath.empty()) {
        if (const std::string error = AppendLogLine(options.logPath, json); !error.empty())
            context.err << "tarv-cli: --log: cannot append: " << error << "\n";
    }
    context.out << (options.json ? json + "\n" : ProgramLine(record)) << std::flush;
}

}  // namespace cli
