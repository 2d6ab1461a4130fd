#include "cli/report_json.h"

#include "commands/json_lines.h"
#include "commands/settings_json.h"

using namespace commands;

namespace cli {
namespace {
using json = nlohmann::ordered_json;

json Stamped(const json& object, const std::string& tool)
{
    json stamped = {{"tool", tool}};
    for (const auto& [key, value] : object.items()) stamped[key] = value;
    return stamped;
}
}  // namespace

json PortsJson(const std::vector<PortStatus>& ports)
{
    json list = json::array();
    for (const PortStatus& port : ports) {
        json item = {{"port", port.port}, {"status", port.status}};
        if (!port.reason.empty()) item["reason"] = port.reason;
        list.push_back(item);
    }
    return list;
}

json InfoJson(const std::string& port, const EncoderReport& encoder)
{
    json info = {
        {"port", port},
        {"product", encoder.product},
        {"product_known", encoder.model >= 0},
        {"serial", encoder.serial},
        {"manufactured", DateJson(encoder.manufactured)},
        {"last_changed", DateJson(encoder.lastChanged)},
        {"format", encoder.format},
    };
    info.update(SettingsJson(encoder.settings));
    info["config_crc_ok"] = encoder.configCrcOk;
    info["record_checksum_ok"] = encoder.recordChecksumOk;
    return info;
}

json ProgramJson(const ProgramRecord& record)
{
    json line = {
        {"time", record.time},
        {"port", record.port},
        {"product", TextOrNull(record.product.value_or(""))},
        {"serial", TextOrNull(record.serial.value_or(""))},
        {"before", SettingsJson(record.before)},
        {"after", SettingsJson(record.after)},
        {"result", ResultWord(record.code)},
    };
    if (record.code != ExitCode::Done) line["reason"] = record.reason;
    return line;
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

std::string JsonLine(const json& value, const std::string& tool)
{
    json stamped = value;
    if (value.is_object()) stamped = Stamped(value, tool);
    if (value.is_array())
        for (json& item : stamped)
            if (item.is_object()) item = Stamped(item, tool);
    return JsonText(stamped);
}

}  // namespace cli
