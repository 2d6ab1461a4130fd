#include "platform/lock_wait.h"

#include <chrono>
#include <thread>

#include "platform/host.h"

namespace platform {
namespace {

// Short enough that a stop ends the wait at once, long enough to cost nothing.
constexpr uint32_t kRetryMs = 25;

// The wait's own clock when it has one, else the system's.
uint32_t NowMs(Host* clock)
{
    if (clock != nullptr) return clock->TickCount();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SleepMs(Host* clock, uint32_t ms)
{
    if (clock != nullptr)
        clock->Sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Seconds(uint32_t ms)
{
    return std::to_string(ms / 1000) + " s";
}

}  // namespace

std::string WaitForLock(const std::filesystem::path& path, const std::function<LockTry()>& tryLock,
                        const LockWait& wait)
{
    const uint32_t start = NowMs(wait.clock);
    bool told = false;
    for (;;) {
        const LockTry attempt = tryLock();
        if (attempt.state == LockTry::State::Taken) return {};
        if (attempt.state == LockTry::State::Failed) return attempt.error;
        if (wait.givenUp && wait.givenUp()) return path.string() + ": the wait for another program's lock was given up";
        const uint32_t waited = NowMs(wait.clock) - start;
        if (waited >= kLockWaitLimitMs)
            return path.string() + ": another program has held its lock for " + Seconds(kLockWaitLimitMs);
        if (!told && waited >= kLockWaitToldMs && wait.told) {
            told = true;
            wait.told("waiting for " + path.string() + ": another program holds its lock (up to " +
                      Seconds(kLockWaitLimitMs) + ")");
        }
        SleepMs(wait.clock, kRetryMs);
    }
}

}  // namespace platform
