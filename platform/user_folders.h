// Where the user's programs keep their own data, as the operating system names it.
#pragma once

#include <filesystem>

namespace platform {

// Windows: %LOCALAPPDATA%. POSIX: $XDG_DATA_HOME, else ~/.local/share. Empty when the environment
// names none.
std::filesystem::path UserDataHome();

}  // namespace platform
