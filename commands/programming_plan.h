// What programming the encoder whose memory was just read would do: whether a settings change
// applies to it, and the image that would be written. A function of the memory, the change and
// the date: nothing is sent, nothing is shown.
#pragma once

#include <cstdint>
#include <optional>

#include "commands/encoder_report.h"
#include "commands/settings_change.h"

namespace commands {

struct ProgrammingPlan {
    EncoderReport encoder;                 // as read, its settings by its own product's lists
    EncoderLists lists;                    // what the change was measured against
    std::optional<ChangeRefusal> refusal;  // none when the change applies
    eeprom::Image image{};                 // what programming writes; the memory as read when refused
    SettingsReport after;                  // the settings that image holds
};

ProgrammingPlan PlanProgramming(const eeprom::Image& read, const SettingsChange& change, int32_t today);

}  // namespace commands
