// Whether another encoder's settings can be taken to program this one: from its 128-byte image or
// from a description of it (the output of `info --json`). One rule for both forms: a record that
// is blank, a product that is missing or unknown (whose settings cannot be read), or checksums
// that do not hold, or are not said to, give no settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/encoder_decode.h"

namespace commands {

// What the source says of the encoder it comes from; none where it says nothing.
struct SettingsSource {
    std::optional<uint8_t> format;  // the record's format byte
    std::optional<std::string> product;
    std::optional<bool> configCrcOk;
    std::optional<bool> recordChecksumOk;
};

enum class UnreadableSettings {
    BlankRecord,          // a record of neither format
    NoProduct,            // no product named
    UnknownProduct,       // a product of none of the known models
    ConfigCrcFails,       // the settings CRC does not hold
    RecordChecksumFails,  // the record checksum does not hold
    ChecksumsNotSaid,     // a description that does not say whether they hold
};

// None when the source's settings can be taken; else the first reason, in the order above.
std::optional<UnreadableSettings> WhyUnreadable(const SettingsSource& source);

SettingsSource SourceOfImage(const eeprom::Image& image);

}  // namespace commands
