// `verify`: reads the encoder and checks, never writing (no repair either), that its settings CRC
// and record checksum hold and that it has each setting asked for. With --each, the end-of-line
// check of a production line.
#include <nlohmann/json.hpp>

#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "commands/encoder_report.h"
#include "commands/settings_change.h"
#include "link/encoder_decode.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"
#include "commands/hex_text.h"

using namespace commands;

namespace cli {
namespace {

struct Difference {
    std::string field;  // resolution, edge_separation, direction, config_crc, record_checksum
    std::string expected;
    std::string found;
};

struct VerifyRecord {
    std::string time;
    std::string port;
    std::optional<EncoderReport> encoder;  // none when it could not be read
    std::optional<EncoderIdentity> identity;
    std::vector<Difference> differences;
    ExitCode code = ExitCode::Done;
    std::string reason;      // why an encoder could not be judged
    bool abandoned = false;  // a stop came during its read: nothing to tell
};

std::string FoundResolution(const SettingsReport& settings)
{
    const std::string designation = settings.ResolutionDesignation();
    if (!designation.empty()) return designation;
    return "code " + HexNumber(settings.resolutionCode);
}

std::string FoundEdgeSeparation(const SettingsReport& settings)
{
    const std::optional<int> nanoseconds = settings.EdgeNanoseconds();
    return nanoseconds ? MicrosecondsText(*nanoseconds) : "value " + std::to_string(settings.edgeValue);
}

std::string ExpectedText(Setting setting, const SettingsChange& expected)
{
    switch (setting) {
    case Setting::Resolution:
        return ResolutionDesignation(expected.resolution->row);
    case Setting::EdgeSeparation:
        return MicrosecondsText(*expected.edgeNanoseconds);
    case Setting::Direction:
        return *expected.direction == Direction::Positive ? "positive" : "negative";
    }
    return {};
}

std::string FoundText(Setting setting, const SettingsReport& settings)
{
    switch (setting) {
    case Setting::Resolution:
        return FoundResolution(settings);
    case Setting::EdgeSeparation:
        return FoundEdgeSeparation(settings);
    case Setting::Direction:
        return settings.DirectionWord();
    }
    return {};
}

const char* FieldName(Setting setting)
{
    switch (setting) {
    case Setting::Resolution:
        return "resolution";
    case Setting::EdgeSeparation:
        return "edge_separation";
    case Setting::Direction:
        return "direction";
    }
    return "";
}

// The settings asked for that the encoder does not hold, judged as programming would apply them,
// then its two checksums.
std::vector<Difference> Differences(const SettingsChange& expected, const DecodedEncoder& decoded,
                                    const EncoderLists& lists, const EncoderReport& encoder)
{
    std::vector<Difference> differences;
    for (const Setting setting : SettingsThatDiffer(expected, lists, decoded.configBlock))
        differences.push_back({FieldName(setting), ExpectedText(setting, expected), FoundText(setting, encoder.settings)});
    if (!encoder.configCrcOk) differences.push_back({"config_crc", "valid", "invalid"});
    if (!encoder.recordChecksumOk) differences.push_back({"record_checksum", "valid", "invalid"});
    return differences;
}

VerifyRecord VerifyEncoder(const CliOptions& options, RunContext& context)
{
    VerifyRecord record;
    record.port = PortLabel(options.port);
    record.time = UtcTimestamp(context.unixSecondsNow());
    eeprom::Image memory{};
    const bool read = ReadWholeMemory(memory) == 1;
    if (!read && context.stopSignal()) {
        record.abandoned = true;
        return record;
    }
    if (!read) {
        record.code = ExitCode::ReadFailed;
        record.reason = ReadFailureText(options.port, LastReadFailure());
        context.err << "tarv-cli: " << record.reason << "\n" << std::flush;
        return record;
    }
    const DecodedEncoder decoded = Decode(memory);
    const EncoderLists lists = ListsOf(decoded);
    record.encoder = DescribeEncoder(memory);
    record.identity = IdentityOfImage(memory);
    // What programming would refuse is not a pass either: an unknown product, whose settings
    // cannot be read, or a setting that this encoder's lists do not have.
    if (const std::optional<ChangeRefusal> refusal = WhyNot(options.settings.change, lists)) {
        record.code = ExitCode::NotApplicable;
        record.reason = RefusalText(*refusal, options.settings, lists);
        context.err << "tarv-cli: " << record.reason << "\n" << std::flush;
        return record;
    }
    record.differences = Differences(options.settings.change, decoded, lists, *record.encoder);
    if (!record.differences.empty()) record.code = ExitCode::VerificationFailed;
    return record;
}

nlohmann::ordered_json VerifyJson(const VerifyRecord& record)
{
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    for (const Difference& d : record.differences)
        differences.push_back({{"field", d.field}, {"expected", d.expected}, {"found", d.found}});
    nlohmann::ordered_json json = {
        {"time", record.time},
        {"port", record.port},
        {"product", record.encoder ? nlohmann::ordered_json(record.encoder->product) : nullptr},
        {"serial", record.encoder ? nlohmann::ordered_json(record.encoder->serial) : nullptr},
        {"ok", record.code == ExitCode::Done},
        {"result", ResultWord(record.code)},
        {"differences", differences},
    };
    if (!record.reason.empty()) json["reason"] = record.reason;
    return json;
}

// `namePort`: on a line of several ports, each difference line names its port too.
std::string VerifyText(const VerifyRecord& record, bool namePort)
{
    std::string text = record.time + " " + record.port;
    if (record.encoder) text += " " + record.encoder->product + " " + record.encoder->serial;
    text += std::string(" ") + ResultWord(record.code) + (record.reason.empty() ? "" : ": " + record.reason) + "\n";
    const std::string port = namePort ? record.port + ": " : "";
    for (const Difference& d : record.differences)
        text += port + d.field + ": " + d.expected + " expected, " + d.found + " found\n";
    return text;
}

// Prints the record; false, told on `context.err`, when the output cannot be written.
bool ReportVerified(const VerifyRecord& record, const CliOptions& options, RunContext& context)
{
    if (!options.quiet)
        context.out << (options.json ? JsonLine(VerifyJson(record), context.tool) + "\n"
                                     : VerifyText(record, options.onePortOfMany));
    if (StreamsWritten(context)) return true;
    context.err << "tarv-cli: the record of this encoder could not be written: the output cannot be written\n";
    return false;
}

}  // namespace

int RunVerify(const CliOptions& options, RunContext& context)
{
    if (options.each) {
        return RunProductionLine(options, context, [](const CliOptions& portOptions, RunContext& portContext) {
            return EncoderStep([&portOptions, &portContext](const EncoderSeen& seen) {
                const VerifyRecord record = VerifyEncoder(portOptions, portContext);
                if (record.abandoned) return EncoderDone{record.code, true, true};
                if (record.identity) seen(*record.identity);
                return EncoderDone{record.code, ReportVerified(record, portOptions, portContext)};
            });
        });
    }
    VerifyRecord record;
    {
        const AdapterPort adapter(options.port, context);
        if (!adapter.Open()) return AsInt(adapter.Code());
        record = VerifyEncoder(options, context);
    }
    // Stopped before the encoder could be judged: nothing to tell, and no pass.
    if (record.abandoned) return ExitCodeOfSignal(context.stopSignal());
    return AsInt(WithRecord(record.code, ReportVerified(record, options, context)));
}

}  // namespace cli
