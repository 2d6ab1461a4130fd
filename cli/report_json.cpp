#include "cli/report_json.h"

#include "cli/iso_time.h"

namespace cli {
namespace {
using json = nlohmann::ordered_json;

json TextOrNull(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

template <typename T>
json OrNull(const std::optional<T>& value)
{
    return value ? json(*value) : json(nullptr);
}

json OptionalSettings(const std::optional<SettingsReport>& settings)
{
    return settings ? SettingsJson(*settings) : json(nullptr);
}
}  // namespace

json SettingsJson(const SettingsReport& settings)
{
    return {
        {"resolution",
         {{"designation", TextOrNull(settings.ResolutionDesignation())},
          {"text", TextOrNull(settings.ResolutionText())},
          {"code", settings.resolutionCode}}},
        {"edge_separation",
         {{"table", settings.edgeTable == 0 ? json(nullptr) : json(settings.edgeTable)},
          {"text", TextOrNull(settings.EdgeText())},
          {"value", settings.edgeValue}}},
        {"direction", settings.DirectionWord()},
    };
}

json PortsJson(const std::vector<PortStatus>& ports)
{
    json list = json::array();
    for (const PortStatus& port : ports) list.push_back({{"port", port.port}, {"status", port.status}});
    return list;
}

json InfoJson(const std::string& port, const EncoderReport& encoder)
{
    json info = {
        {"port", port},
        {"product", encoder.product},
        {"serial", encoder.serial},
        {"manufactured", IsoDate(encoder.manufactured)},
        {"last_changed", IsoDate(encoder.lastChanged)},
        {"format", encoder.format},
    };
    info.update(SettingsJson(encoder.settings));
    info["config_crc_ok"] = encoder.configCrcOk;
    info["record_checksum_ok"] = encoder.recordChecksumOk;
    return info;
}

json ProgramJson(const ProgramRecord& record)
{
    return {
        {"time", record.time},
        {"port", record.port},
        {"product", OrNull(record.product)},
        {"serial", OrNull(record.serial)},
        {"before", OptionalSettings(record.before)},
        {"after", OptionalSettings(record.after)},
        {"result", ResultWord(record.code)},
    };
}

json DryRunJson(const DryRunReport& report)
{
    json changes = json::array();
    for (const ByteChange& change : report.changes)
        changes.push_back({{"address", change.address}, {"old", change.before}, {"new", change.after}});
    return {
        {"port", report.port},
        {"product", report.product},
        {"serial", report.serial},
        {"before", SettingsJson(report.before)},
        {"after", SettingsJson(report.after)},
        {"changes", changes},
        {"written", false},
    };
}

json BackupJson(const std::string& port, const std::string& file, const EncoderReport& encoder)
{
    return {{"port", port}, {"file", file}, {"product", encoder.product}, {"serial", encoder.serial}, {"bytes", 128}};
}

std::string JsonLine(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace cli
