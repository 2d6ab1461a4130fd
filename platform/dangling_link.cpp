#include <system_error>

#include "platform/durable_files.h"

namespace platform {

std::string DanglingLink(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) return {};
    if (std::filesystem::exists(std::filesystem::status(path, error))) return {};
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    return path.string() + ": a link to " + (error ? std::string("a file") : target.string()) + ", which does not exist";
}

}  // namespace platform
