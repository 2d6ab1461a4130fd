// The settings that `program` is asked for: parsed from the command line first (a bad value is a
// bad argument), then resolved against the encoder's own lists (a value that this encoder does
// not offer does not apply), then picked as the window's lists would pick them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "commands/settings_codec.h"

namespace cli {

// A value, or a one-line message that names the option, the value and the choices.
template <typename T>
struct Checked {
    std::optional<T> value;
    std::string error;
};

struct ResolutionRequest {
    int row = -1;                                // into kResolutionRows
    ProductFamily family = ProductFamily::None;  // None: a designation, which fits both families;
                                                 // A or B: a row text of that family's list
    std::string given;
};

struct EdgeSeparationRequest {
    int nanoseconds = 0;
    std::string given;
};

using ::Direction;

struct SettingsRequest {
    std::optional<ResolutionRequest> resolution;
    std::optional<EdgeSeparationRequest> edgeSeparation;
    std::optional<Direction> direction;
    bool Empty() const { return !resolution && !edgeSeparation && !direction; }
};

// "D50", "04b", or a row's whole text ("D50 (500)= 4 µm", "u" also standing for "µ"); any case.
Checked<ResolutionRequest> ParseResolution(std::string_view text);
// A number of microseconds that one of the two edge-separation tables has: "0.5", "1", "0.12".
Checked<EdgeSeparationRequest> ParseEdgeSeparation(std::string_view text);
// "positive" or "negative", any case.
Checked<Direction> ParseDirection(std::string_view text);

// The row of each list that the request picks on this encoder.
struct PickedRows {
    std::optional<int> resolution;
    std::optional<int> edgeSeparation;
    std::optional<int> direction;
};

// Against the lists that the window would show for `family` and `edgeTableId`.
Checked<PickedRows> ResolveRequest(const SettingsRequest& request, ProductFamily family, uint8_t edgeTableId);

// Sets the request's settings in DeviceModel.ConfigBlock by what they mean (the resolution's
// warning first, if it has one), after ResolveRequest found that they apply to the encoder loaded.
void ApplyRequest(const SettingsRequest& request);

// Helpers that the reports share: the designation of a resolution row ("D50"), and a number of
// nanoseconds written in microseconds as the options take it ("0.5").
std::string ResolutionDesignation(int row);
std::string MicrosecondsText(int nanoseconds);

}  // namespace cli
