// Numbers and bytes in hex, as every text of the program writes them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace commands {

// "0x14", with at least `digits` hex digits.
std::string HexNumber(unsigned value, int digits = 2);
// "41 42 20 31": each byte as two hex digits, one space between.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace commands
