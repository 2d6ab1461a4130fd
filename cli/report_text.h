// tarv-cli's plain-text output: the same facts as its JSON, for people.
#pragma once

#include <string>
#include <vector>

#include "cli/program_record.h"
#include "cli/report_json.h"
#include "commands/encoder_report.h"

namespace cli {

std::string PortsText(const std::vector<PortStatus>& ports);
std::string InfoText(const std::string& port, const commands::EncoderReport& encoder);
std::string ProgramLine(const ProgramRecord& record);  // one line, with its line end
std::string DryRunText(const DryRunReport& report);
std::string BackupText(const std::string& port, const std::string& file, const commands::EncoderReport& encoder);

// "D50 (500)= 4 µm (code 0x14)", "table 1: 1 µs (1 MHz) (value 10)", "positive".
std::string ResolutionSummary(const commands::SettingsReport& settings);
std::string EdgeSeparationSummary(const commands::SettingsReport& settings);

}  // namespace cli
