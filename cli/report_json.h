// tarv-cli's JSON: the shapes of `ports`, `info`, `program` (also its log lines) and `backup`.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/program_record.h"
#include "commands/encoder_report.h"
#include "commands/settings_json.h"

namespace cli {

struct PortStatus {
    std::string port;
    std::string status;  // adapter, no-adapter or unavailable
    std::string reason;  // why an unavailable port did not open; empty for the others
};

nlohmann::ordered_json PortsJson(const std::vector<PortStatus>& ports);
nlohmann::ordered_json InfoJson(const std::string& port, const commands::EncoderReport& encoder);
nlohmann::ordered_json ProgramJson(const ProgramRecord& record);
nlohmann::ordered_json DryRunJson(const DryRunReport& report);
nlohmann::ordered_json BackupJson(const std::string& port, const std::string& file,
                                  const commands::EncoderReport& encoder);

// One line, with any invalid UTF-8 replaced rather than thrown at. Every object of the output
// (each one of a list) names the `tool` that made it first.
std::string JsonLine(const nlohmann::ordered_json& value, const std::string& tool);

}  // namespace cli
