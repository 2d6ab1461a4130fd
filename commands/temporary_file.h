// A file's contents written beside it under a temporary name before they are given its name:
// "<file>.<n>.partial", the first n whose name is free, made new and on disk. No two writers
// share a temporary, and none opens a leftover of a crash or a link put in its place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace commands {

struct TemporaryFile {
    std::filesystem::path path;  // the temporary made; with an error, the last name tried
    std::string error;           // empty when it was made
};

TemporaryFile WriteTemporaryBeside(const std::filesystem::path& file, std::span<const uint8_t> bytes);

}  // namespace commands
