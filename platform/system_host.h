// The operating system's side of the host: serial ports, the port list, the tick, the date and
// the program's version. The UI services are left to a subclass (the Qt host in the program, a
// recording one in tests), so this part builds and runs without a GUI.
#pragma once

#include <string>

#include "platform/host.h"

#ifndef _WIN32
#include "platform/driver_low_latency.h"
#endif

namespace platform {

#ifndef _WIN32
// Where the POSIX host looks for serial ports. Tests point these at folders of their own.
struct PosixPaths {
    std::string sysClassTty = "/sys/class/tty";  // one entry per tty; real ports have `device`
    std::string devDir = "/dev";                 // a port named N opens as devDir/N
};
#endif

class SystemHost : public Host {
public:
#ifndef _WIN32
    // `lowLatency` is the drivers' low-latency flag that a port asks for once the adapter answered
    // on it; tests put a recording one in.
    explicit SystemHost(PosixPaths paths = {}, DriverLowLatency& lowLatency = SystemDriverLowLatency())
        : paths_(std::move(paths)), lowLatency_(&lowLatency)
    {
    }
#endif

    OpenedPort OpenSerial(const std::string& name) override;
    PortListing ListPorts() override;
    uint32_t TickCount() override;
    void Sleep(uint32_t ms) override;
    int32_t Today() override;
    std::string VersionString() override;
    int CompareIgnoringCase(std::string_view a, std::string_view b) override;

#ifndef _WIN32
    std::string PortDevice(const std::string& name) override;

private:
    PosixPaths paths_;
    DriverLowLatency* lowLatency_;
#endif
};

}  // namespace platform
