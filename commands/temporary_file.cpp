#include "commands/temporary_file.h"

#include "platform/durable_files.h"

namespace commands {
namespace {
// Enough names for every writer that may keep one file at once.
constexpr int kTemporaryNames = 100;
}  // namespace

TemporaryFile WriteTemporaryBeside(const std::filesystem::path& file, std::span<const uint8_t> bytes)
{
    TemporaryFile temporary;
    for (int n = 1; n <= kTemporaryNames; ++n) {
        // Appended piece by piece: GCC 12 at -O3 warns wrongly about "." + std::string.
        temporary.path = file;
        temporary.path += ".";
        temporary.path += std::to_string(n);
        temporary.path += ".partial";
        const platform::NewFile made = platform::WriteNewFile(temporary.path, bytes);
        if (!made.taken) {
            temporary.error = made.error;
            return temporary;
        }
    }
    temporary.error = "no free name for a temporary file beside it";
    return temporary;
}

}  // namespace commands
