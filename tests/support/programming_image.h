// The 128 bytes that programming must write, built independently of the code under test from the
// memory map: the device's bytes with the user's four fields, a fresh CRC and checksum, today's
// date and zeros between the blocks.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

inline eeprom::Image ExpectedProgrammingImage(const eeprom::Image& device, const std::array<uint8_t, 16>& edited,
                                              int32_t today)
{
    eeprom::Image image{};
    std::copy_n(device.begin(), 16, image.begin());
    image[0] = static_cast<uint8_t>((device[0] & 0xE0) | (edited[0] & 0x1F));
    image[2] = static_cast<uint8_t>((device[2] & 0xDF) | (edited[2] & 0x20));
    image[4] = edited[4];
    image[5] = static_cast<uint8_t>((device[5] & 0x80) | (edited[5] & 0x7F));
    const std::u16string crcText(image.begin(), image.begin() + 15);
    image[15] = Crc8OfText(crcText, 0x27, 0);
    std::copy_n(device.begin() + 72, 21, image.begin() + 72);
    image[72] = 2;
    const DayBytes todayBytes = DayNumberToBytes(today);
    std::copy(todayBytes.begin(), todayBytes.end(), image.begin() + 89);
    image[93] = SumChecksum(std::span(image).subspan(72, 21));
    std::copy_n(device.begin() + 120, 8, image.begin() + 120);
    return image;
}
