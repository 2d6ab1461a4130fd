// The encoder that a memory image holds, as a plain value: its record in the layout that the
// program writes (format 2), its three settings' raw fields, and whether its two checksums hold.
// Nothing here reads or writes the program's memory copy; the whole-memory read loads that copy
// from this same value.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "model/Spremenljivke_Tarv_Config.h"

// The product record as the program holds every record: a format-1 serial turned into format 2's
// text, a record of neither format read as an empty one.
struct EncoderRecord {
    std::array<uint8_t, 4> productName{};
    std::array<uint8_t, 2> carriedBytes{};
    std::array<uint8_t, 6> serialNumber{};
    DayBytes manufactured{};
    DayBytes lastChanged{};
    uint8_t checksum = 0;  // as stored; 0 for a record of neither format
};

// The fields of the settings block that the three settings are stored in, as stored.
struct SettingsFields {
    uint8_t resolutionCode = 0;        // byte 0, bits 0..4
    uint16_t edgeSeparationValue = 0;  // (byte 5 AND 0x7F) * 256 + byte 4; bit 7 of byte 5 is the device's
    bool directionBit = false;         // byte 2, bit 5
};

struct DecodedEncoder {
    uint8_t format = 0;  // byte 72 as stored: 2, 1, or anything else for no record
    EncoderRecord record;
    std::array<uint8_t, eeprom::kConfigBlockSize> configBlock{};
    std::array<uint8_t, eeprom::kDeviceTagSize> deviceTag{};
    SettingsFields settings;
    bool configCrcOk = false;
    bool recordChecksumOk = false;  // always false for a record of neither format

    bool HasRecord() const { return format == eeprom::kFormat1 || format == eeprom::kFormat2; }
};

DecodedEncoder Decode(const eeprom::Image& image);

// The settings' raw fields of a settings block.
SettingsFields SettingsFieldsOf(std::span<const uint8_t, eeprom::kConfigBlockSize> configBlock);

// The record's 21 bytes before its checksum, in format 2 and in image order (72..92).
std::array<uint8_t, eeprom::kProductRecordSize - 1> Format2RecordBody(const EncoderRecord& record);
