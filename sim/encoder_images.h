// Encoder memory images for the emulator: format-2 and format-1 product records, blank records
// and settings blocks with a correct CRC.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/Spremenljivke_Tarv_Config.h"

namespace sim {

using ConfigBytes = std::array<uint8_t, eeprom::kConfigBlockSize>;

// A settings block with its CRC in byte 15; the four fields are set from the arguments, the
// device's own bits from a fixed pattern so that tests can see them carried through.
ConfigBytes MakeConfigBlock(uint8_t resolutionCode, bool directionSet, uint16_t edgeSeparationValue);

struct ProductRecordSpec {
    std::string name = "KV24";
    std::string serial = "AB1234";  // six characters for format 2
    CivilDate manufactured{2014, 1, 8};
    CivilDate lastChanged{2014, 1, 8};
    std::array<uint8_t, 2> carried{0x12, 0x34};
};

// A format-2 record with a correct checksum, a settings block and a device tag.
eeprom::Image Format2Image(const ProductRecordSpec& record = {},
                           const ConfigBytes& config = MakeConfigBlock(4, false, 10));
// A format-1 record: the serial's first two characters and a 16-bit counter.
eeprom::Image Format1Image(const ProductRecordSpec& record, uint16_t serialCounter,
                           const ConfigBytes& config = MakeConfigBlock(4, false, 10));
// No valid record: byte 72 holds `formatByte` (0 or 0xFF for erased memory).
eeprom::Image BlankImage(uint8_t formatByte = 0xFF, const ConfigBytes& config = MakeConfigBlock(4, false, 10));

inline constexpr std::array<uint8_t, eeprom::kDeviceTagSize> kSimDeviceTag = {'S', 'I', 'M', 'T', 'A', 'G', '0', '1'};

}  // namespace sim
