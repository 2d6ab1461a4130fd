// The wait for another program's lock on a file to append to, shared by the POSIX and Win32 file
// services: bounded, told once, and given up when asked.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/durable_files.h"

namespace platform {

// One try at the lock, never waiting.
struct LockTry {
    enum class State { Taken, Held, Failed } state;
    std::string error;  // why it failed
};

// Tries `tryLock` until it takes the lock, a try fails, `wait` gives it up or kLockWaitLimitMs have
// passed. Empty once the lock is taken, else why not.
std::string WaitForLock(const std::filesystem::path& path, const std::function<LockTry()>& tryLock,
                        const LockWait& wait);

}  // namespace platform
