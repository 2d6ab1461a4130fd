// The serial driver's low-latency flag of an open terminal. A driver that keeps it may pass
// received bytes on sooner; a USB serial converter's driver may shorten the converter's latency
// timer for it. A seam of its own, so that a test can stand in for a driver that has the flag:
// no pseudo-terminal has one.
#pragma once

#include <optional>

namespace platform {

class DriverLowLatency {
public:
    virtual ~DriverLowLatency() = default;
    // The flag as the driver has it; nullopt when the driver keeps none or refuses to tell.
    virtual std::optional<bool> Get(int fd) = 0;
    // False when the driver refuses.
    virtual bool Set(int fd, bool on) = 0;
};

// The operating system's: the driver's serial flags through TIOCGSERIAL and TIOCSSERIAL.
DriverLowLatency& SystemDriverLowLatency();

}  // namespace platform
