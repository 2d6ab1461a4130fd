// The settings that `program` is asked for, parsed from the command line (a bad value is a bad
// argument), and the words of a refusal when they do not apply to the encoder (the command core
// decides that).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "commands/settings_change.h"

namespace cli {

// A value, or a one-line message that names the option, the value and the choices.
template <typename T>
struct Checked {
    std::optional<T> value;
    std::string error;
};

using commands::Direction;

// The texts that the options gave, as the words of a refusal quote them.
struct GivenTexts {
    std::string resolution;
    std::string edgeSeparation;
};

struct SettingsRequest {
    commands::SettingsChange change;
    GivenTexts given;
    bool Empty() const { return change.Empty(); }
};

// "D50", "04b", or a row's whole text ("D50 (500)= 4 µm", "u" also standing for "µ"); any case.
// A row's text names the family of its list; a designation fits both.
Checked<commands::ResolutionChoice> ParseResolution(std::string_view text);
// A number of microseconds that one of the two edge-separation tables has: "0.5", "1", "0.12";
// the value is in nanoseconds.
Checked<int> ParseEdgeSeparation(std::string_view text);
// "positive" or "negative", any case.
Checked<commands::Direction> ParseDirection(std::string_view text);

// Parse `text` into the request, which keeps it for its refusals; the parse's message when it is
// not a value, else empty.
std::string SetResolution(SettingsRequest& request, std::string_view text);
std::string SetEdgeSeparation(SettingsRequest& request, std::string_view text);

// Why the request does not apply to an encoder, in one line that names the option and the value.
std::string RefusalText(commands::ChangeRefusal refusal, const SettingsRequest& request,
                        const commands::EncoderLists& lists);

// Helpers that the reports share: the designation of a resolution row ("D50"), and a number of
// nanoseconds written in microseconds as the options take it ("0.5").
std::string ResolutionDesignation(int row);
std::string MicrosecondsText(int nanoseconds);

}  // namespace cli
