// Which encoder sits on the adapter: its product name and serial number as the whole-memory read
// decodes them into DeviceModel, taken from one read of the record's head, so that an identity is
// never half one encoder's and half the next one's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "model/Spremenljivke_Tarv_Config.h"

struct EncoderIdentity {
    std::array<uint8_t, 4> product{};
    std::array<uint8_t, 6> serial{};         // a format-1 counter as its four decimal digits
    std::optional<uint16_t> format1Counter;  // the whole counter, when the record is format 1
};

// Addresses 72..84: the format byte, the name and, in either format, the serial number.
inline constexpr int kIdentityAddress = eeprom::kProductRecordAddress;
inline constexpr int kIdentitySize = 13;

// A record of neither format (erased, never written) has a zero name and serial.
EncoderIdentity IdentityOfRecordHead(std::span<const uint8_t, kIdentitySize> head);
EncoderIdentity IdentityOfImage(const eeprom::Image& image);

// The same product and serial bytes, and the same whole counter when both records are format 1:
// a format-1 encoder keeps its identity when programming rewrites it in format 2, and two counters
// whose four digits agree (1234 and 12345) are still told apart while both are format 1.
bool SameEncoder(const EncoderIdentity& a, const EncoderIdentity& b);

// Format 2 holds a format-1 serial number as its two characters and the counter's first four
// decimal digits, zero-padded on the left (12345 -> "1234"). `serial` holds the two characters
// and the counter's two bytes, and is turned into that.
void ConvertFormat1Serial(std::array<uint8_t, 6>& serial);
