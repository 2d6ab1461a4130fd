// Files that hold an encoder's memory (a backup, an image of the store) or another file that a
// command takes: only a regular file, read up to a bound, with the reason when it cannot be. A
// device (/dev/zero), a FIFO or a folder is refused before it is opened, so that nothing waits
// on it and nothing grows without end.
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
// At most `maxBytes`: a longer file is an error ("too long"), found by reading one byte more.
FileContents ReadInputFile(const std::string& path, size_t maxBytes);

// The files that commands take: an image, and the output of info --json.
inline constexpr size_t kMaxJsonFileBytes = 8192;

// The bytes as an encoder's memory, when there are exactly 128 of them.
std::optional<eeprom::Image> AsImage(const std::vector<uint8_t>& bytes);

}  // namespace cli
