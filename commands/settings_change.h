// A change of an encoder's settings by what they mean: a resolution row (by its designation, or
// by one family's text of it), an edge separation in nanoseconds, a counting direction. Whether it
// applies to an encoder, and the settings block it makes, are functions of values: no memory copy
// and no message box.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "commands/settings_tables.h"
#include "link/encoder_decode.h"

namespace commands {

using ConfigBytes = std::array<uint8_t, eeprom::kConfigBlockSize>;

struct ResolutionChoice {
    int row = -1;                                  // into kResolutionRows
    ProductFamily namedFor = ProductFamily::None;  // None: its designation, which fits both families;
                                                   // A or B: the text of that family's row
};

struct SettingsChange {
    std::optional<ResolutionChoice> resolution;
    std::optional<int> edgeNanoseconds;
    std::optional<Direction> direction;
    bool Empty() const { return !resolution && !edgeNanoseconds && !direction; }
};

// Why a change does not apply to an encoder.
enum class ChangeRefusal {
    UnknownProduct,           // its record names no product: its settings cannot be read
    ResolutionOfOtherFamily,  // a row's text from the other family's list
    EdgeTableUnknown,         // its stored edge separation belongs to neither table
    EdgeNotInTable,           // not a row of the table that its stored value belongs to
};

// What the change is measured against: the encoder's product model and the lists it shows.
struct EncoderLists {
    int model = -1;  // index into kProductModelNames; -1 for a name of none
    ProductFamily family = ProductFamily::None;
    uint8_t edgeTable = 0;  // 1, 2, or 0 for neither
    // The family whose resolution and direction rows the window lists (A without a product).
    ProductFamily ListedFamily() const { return family == ProductFamily::B ? ProductFamily::B : ProductFamily::A; }
};
EncoderLists ListsOf(const DecodedEncoder& encoder);

// None when the change applies; the product is checked first, then each setting in turn.
std::optional<ChangeRefusal> WhyNot(const SettingsChange& change, const EncoderLists& lists);

// The settings block with the change's fields set and every other bit as it was; for a change
// that applies (WhyNot gave none). The settings CRC is not touched.
ConfigBytes Applied(const SettingsChange& change, const EncoderLists& lists, const ConfigBytes& config);

enum class Setting { Resolution, EdgeSeparation, Direction };

// The settings of a change that applies whose bits differ from those the encoder holds, in the
// order above: what applying it would alter. A check of an encoder against the change passes when
// there are none, so that it judges by the rule that programming applies.
std::vector<Setting> SettingsThatDiffer(const SettingsChange& change, const EncoderLists& lists,
                                        const ConfigBytes& config);

// The encoder's settings as a change that sets them, for another encoder: each one whose stored
// value has a row of its lists (a direction always has one).
SettingsChange SettingsOf(const DecodedEncoder& encoder);

}  // namespace commands
