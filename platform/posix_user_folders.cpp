#include "platform/user_folders.h"

#include <cstdlib>

namespace platform {
namespace {
const char* Named(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : nullptr;
}
}  // namespace

std::filesystem::path UserDataHome()
{
    if (const char* xdg = Named("XDG_DATA_HOME")) return xdg;
    if (const char* home = Named("HOME")) return std::filesystem::path(home) / ".local" / "share";
    return {};
}

}  // namespace platform
