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

struct ResolutionRequest {
    int row = -1;                                                    // into kResolutionRows
    commands::ProductFamily family = commands::ProductFamily::None;  // None: a designation, which fits both families;
                                                                     // A or B: a row text of that family's list
    std::string given;
};

struct EdgeSeparationRequest {
    int nanoseconds = 0;
    std::string given;
};

using commands::Direction;

struct SettingsRequest {
    std::optional<ResolutionRequest> resolution;
    std::optional<EdgeSeparationRequest> edgeSeparation;
    std::optional<commands::Direction> direction;
    bool Empty() const { return !resolution && !edgeSeparation && !direction; }
};

// "D50", "04b", or a row's whole text ("D50 (500)= 4 µm", "u" also standing for "µ"); any case.
Checked<ResolutionRequest> ParseResolution(std::string_view text);
// A number of microseconds that one of the two edge-separation tables has: "0.5", "1", "0.12".
Checked<EdgeSeparationRequest> ParseEdgeSeparation(std::string_view text);
// "positive" or "negative", any case.
Checked<commands::Direction> ParseDirection(std::string_view text);

// The request as a change by meaning, which the command core checks and applies.
commands::SettingsChange ChangeOf(const SettingsRequest& request);
// The request of a change: its values given as the options would give them.
SettingsRequest RequestOf(const commands::SettingsChange& change);

// Why the request does not apply to an encoder, in one line that names the option and the value.
std::string RefusalText(commands::ChangeRefusal refusal, const SettingsRequest& request,
                        const commands::EncoderLists& lists);

// Helpers that the reports share: the designation of a resolution row ("D50"), and a number of
// nanoseconds written in microseconds as the options take it ("0.5").
std::string ResolutionDesignation(int row);
std::string MicrosecondsText(int nanoseconds);

}  // namespace cli
