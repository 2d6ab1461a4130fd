// The driver's low-latency flag on Linux, among the serial flags that TIOCGSERIAL reads and
// TIOCSSERIAL writes back whole.
#include <linux/serial.h>
#include <sys/ioctl.h>

#include "platform/driver_low_latency.h"

namespace platform {
namespace {

class LinuxDriverLowLatency final : public DriverLowLatency {
public:
    std::optional<bool> Get(int fd) override
    {
        serial_struct serial{};
        if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return std::nullopt;
        return (serial.flags & ASYNC_LOW_LATENCY) != 0;
    }

    bool Set(int fd, bool on) override
    {
        // Everything else goes back as the driver gave it: a user may change this flag, not others.
        serial_struct serial{};
        if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
        if (on)
            serial.flags |= ASYNC_LOW_LATENCY;
        else
            serial.flags &= ~ASYNC_LOW_LATENCY;
        return ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
};

}  // namespace

DriverLowLatency& SystemDriverLowLatency()
{
    static LinuxDriverLowLatency driver;
    return driver;
}

}  // namespace platform
