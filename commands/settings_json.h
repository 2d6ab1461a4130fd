// The settings and dates of an encoder as JSON, in the shape that `tarv-cli info --json` shows
// and the journal keeps.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "commands/encoder_report.h"

namespace commands {

// A date of the record as ISO 8601, null for a blank one (day zero, as an erased record reads).
nlohmann::ordered_json DateJson(int32_t dayNumber);

// resolution {designation, text, code}, edge_separation {table, text, microseconds, value},
// direction: what is unknown is null.
nlohmann::ordered_json SettingsJson(const SettingsReport& settings);
nlohmann::ordered_json SettingsJson(const std::optional<SettingsReport>& settings);  // null for none

// A text, or null for an empty one.
nlohmann::ordered_json TextOrNull(const std::string& text);

}  // namespace commands
