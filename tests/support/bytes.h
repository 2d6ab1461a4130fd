// Byte sequences for assertions: fields, image ranges and texts as plain vectors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Spremenljivke_Tarv_Config.h"

using Bytes = std::vector<uint8_t>;

inline Bytes ImageBytes(const eeprom::Image& image, int address, int count)
{
    return {image.begin() + address, image.begin() + address + count};
}

template <size_t N>
Bytes AsBytes(const std::array<uint8_t, N>& field)
{
    return {field.begin(), field.end()};
}

inline Bytes TextBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}
