// What is reported about an encoder: its identity, its three settings as the window's lists
// name them, and whether its two checksums hold. Plain values, shaped into text or JSON elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "commands/settings_codec.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

struct SettingsReport {
    uint8_t resolutionCode = 0;
    std::optional<int> resolutionRow;  // none for a code without a row
    uint8_t edgeTable = 0;             // 1 or 2; 0 when the stored value belongs to neither
    std::optional<int> edgeRow;        // none for a value without a row
    uint16_t edgeValue = 0;
    bool directionPositive = false;
    ProductFamily family = ProductFamily::None;  // whose lists name the rows

    std::string ResolutionDesignation() const;   // "D50"; empty without a row
    std::string ResolutionText() const;          // the row's text in the family's list; empty without a row
    std::string EdgeText() const;                // the row's text; empty without a row
    std::optional<int> EdgeNanoseconds() const;  // the row's value; none without a row
    std::string DirectionWord() const;           // "positive" or "negative"
};

SettingsReport DescribeSettings(std::span<const uint8_t, eeprom::kConfigBlockSize> config, ProductFamily family);

struct EncoderReport {
    int model = -1;  // the product model its record names (index into kProductModelNames); -1 for none
    std::string product;
    std::string serial;
    int32_t manufactured = 0;  // DayNumber
    int32_t lastChanged = 0;
    uint8_t format = 0;  // byte 72 as stored: 2, 1, or anything else for no record
    bool configCrcOk = false;
    bool recordChecksumOk = false;
    SettingsReport settings;
};

// The encoder that an image holds, its settings named by the lists of the product its record names.
EncoderReport DescribeEncoder(const eeprom::Image& memory);
// The same, its settings named by the lists of `family` (the window's, from the products it saw).
EncoderReport DescribeEncoder(const eeprom::Image& memory, ProductFamily family);

// A text field of the record as the window shows it: up to its first zero byte, each byte the
// character of that code (so UTF-8 for 0x80..0xFF); control characters shown as '?'.
std::string FieldText(std::span<const uint8_t> bytes);

struct ByteChange {
    int address;
    uint8_t before;
    uint8_t after;
};
std::vector<ByteChange> ImageChanges(const eeprom::Image& before, const eeprom::Image& after);

}  // namespace commands
