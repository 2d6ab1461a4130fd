// Files that hold an encoder's memory (a backup, an image of the store) or another file that a
// command takes: read whole, with the reason when they cannot be.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Spremenljivke_Tarv_Config.h"

namespace cli {

struct FileContents {
    std::vector<uint8_t> bytes;
    std::string error;  // why the file could not be read; empty when it was
};
FileContents ReadWholeFile(const std::string& path);

// The bytes as an encoder's memory, when there are exactly 128 of them.
std::optional<eeprom::Image> AsImage(const std::vector<uint8_t>& bytes);

}  // namespace cli
