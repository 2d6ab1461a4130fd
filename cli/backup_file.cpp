#include "cli/backup_file.h"

#include "commands/temporary_file.h"
#include "platform/durable_files.h"

namespace cli {

BackupFile::BackupFile(std::filesystem::path path, bool replace) : path_(std::move(path)), replace_(replace) {}

std::string BackupFile::WhyKept() const
{
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::symlink_status(path_, error).type();
    if (type == std::filesystem::file_type::not_found) return {};
    if (type != std::filesystem::file_type::regular) return "it is not a regular file; it is kept";
    return replace_ ? std::string() : "it exists; it is kept (--force replaces it)";
}

std::string BackupFile::Check() const
{
    if (std::string why = WhyKept(); !why.empty()) return why;
    // A folder that cannot take the backup is found before the encoder is read.
    const commands::TemporaryFile probe = commands::WriteTemporaryBeside(path_, {});
    if (!probe.error.empty()) return "cannot be created: " + probe.error;
    std::error_code ignored;
    std::filesystem::remove(probe.path, ignored);
    return {};
}

std::string BackupFile::Keep(const eeprom::Image& memory) const
{
    const commands::TemporaryFile written = commands::WriteTemporaryBeside(path_, memory);
    if (!written.error.empty()) return "cannot be written: " + written.error;
    const std::filesystem::path& temporary = written.path;
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
