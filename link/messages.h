// Every message box the program shows: its text and its title, each defined here once.
#pragma once

#include "platform/host.h"

struct MessageText {
    const char* text;
    const char* title;
    platform::Severity severity = platform::Severity::Error;
};

namespace messages {
inline constexpr const char* kErrorTitle = "ERROR";

// Port listing and the device link.
inline constexpr MessageText kPortListFailed{"Error", "COM PORT"};
inline constexpr MessageText kImagePortNotValid{"COM port not valid", kErrorTitle};
inline constexpr MessageText kBlockPortNotValid{"COM port not valid 1", kErrorTitle};
inline constexpr MessageText kImageReadFailed{"False communication with EEPROM", kErrorTitle};
inline constexpr MessageText kBlockReadFailed{"False communication with EEPROM 1", kErrorTitle};

// Writes: the product record's and the programming's own texts.
inline constexpr MessageText kWriteRefused{"Writing to EEPROM was unsuccesfull", kErrorTitle};
inline constexpr MessageText kRecordWriteNoAnswer{"COM port is not responding", kErrorTitle};
inline constexpr MessageText kRecordCorrupted{"Written data is corrupted", "EEPROM verification error"};
inline constexpr MessageText kProgramNoAnswer{"COM port is not responding!", kErrorTitle};
inline constexpr MessageText kNoProgrammingDevice{"No programming device", kErrorTitle};
inline constexpr MessageText kProgramReadFailed{"EEPROM read error", kErrorTitle};
inline constexpr MessageText kVerificationFailed{"EEPROM verification error", kErrorTitle};

// The two coarsest resolutions are confirmed with a warning first.
inline constexpr MessageText kResolution04BWarning{
    "If 04B resolution is selected than:\r\n"
    "* Reference mark will not work\r\n"
    "* Edge Separation of 0.12 \u00B5s is not recommended",
    "Warning!", platform::Severity::Warning};
inline constexpr MessageText kResolution03BWarning{
    "If 03B resolution is selected than:\r\n"
    "* Reference mark will not work\r\n"
    "* Edge Separation of 0.12 \u00B5s is not recommended",
    "Warning!", platform::Severity::Warning};
}  // namespace messages

// Shows the message as the host's modal box with one OK button.
inline void Show(const MessageText& message)
{
    platform::host().ShowMessage(message.text, message.title, message.severity);
}
