#include "platform/user_folders.h"

#include <cstdlib>

namespace platform {

std::filesystem::path UserDataHome()
{
    const char* local = std::getenv("LOCALAPPDATA");
    return local != nullptr && *local != '\0' ? std::filesystem::path(local) : std::filesystem::path();
}

}  // namespace platform
