#include "cli/backup_file.h"

#include "platform/durable_files.h"

namespace cli {
namespace {
// Enough names for every run that may back up to one FILE at once.
constexpr int kTemporaryNames = 100;
}  // namespace

BackupFile::BackupFile(std::filesystem::path path, bool replace) : path_(std::move(path)), replace_(replace) {}

std::string BackupFile::WhyKept() const
{
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::symlink_status(path_, error).type();
    if (type == std::filesystem::file_type::not_found) return {};
    if (type != std::filesystem::file_type::regular) return "it is not a regular file; it is kept";
    return replace_ ? std::string() : "it exists; it is kept (--force replaces it)";
}

std::string BackupFile::WriteTemporary(std::span<const uint8_t> bytes, std::filesystem::path& temporary) const
{
    for (int n = 1; n <= kTemporaryNames; ++n) {
        // Appended piece by piece: GCC 12 at -O3 warns wrongly about "." + std::string.
        temporary = path_;
        temporary += ".";
        temporary += std::to_string(n);
        temporary += ".partial";
        const platform::NewFile made = platform::WriteNewFile(temporary, bytes);
        if (!made.taken) return made.error;
    }
    return "no free name for a temporary file beside it";
}

std::string BackupFile::Check() const
{
    if (std::string why = WhyKept(); !why.empty()) return why;
    // A folder that cannot take the backup is found before the encoder is read.
    std::filesystem::path probe;
    if (std::string error = WriteTemporary({}, probe); !error.empty()) return "cannot be created: " + error;
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return {};
}

std::string BackupFile::Keep(const eeprom::Image& memory) const
{
    std::filesystem::path temporary;
    if (std::string error = WriteTemporary(memory, temporary); !error.empty()) return "cannot be written: " + error;
    std::string failure = WhyKept();
    if (failure.empty() && !replace_) {
        const platform::Naming named = platform::NameWithoutReplacing(temporary, path_);
        if (named.taken) failure = "it exists now; it is kept";
        else if (!named.named) failure = "cannot be written: " + named.error;
    } else if (failure.empty()) {
        std::error_code error;
        std::filesystem::rename(temporary, path_, error);
        if (error) failure = "cannot be written: " + path_.string() + ": " + error.message();
    }
    std::error_code ignored;
    if (!failure.empty()) {
        std::filesystem::remove(temporary, ignored);
        return failure;
    }
    if (std::string error = platform::SyncFolder(path_.parent_path()); !error.empty())
        return "cannot be written: " + error;
    return {};
}

}  // namespace cli
