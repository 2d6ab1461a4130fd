// A host that passes every service on to another one, except message boxes, which it drops. The
// production loop polls through it, so that an empty adapter does not repeat the same failure
// twice a second; it reports its changes of state itself.
#pragma once

#include "platform/host.h"

namespace cli {

class QuietHost final : public platform::Host {
public:
    explicit QuietHost(platform::Host& inner) : inner_(inner) {}

    platform::OpenedPort OpenSerial(const std::string& name) override { return inner_.OpenSerial(name); }
    platform::PortListing ListPorts() override { return inner_.ListPorts(); }
    uint32_t TickCount() override { return inner_.TickCount(); }
    void Sleep(uint32_t ms) override { inner_.Sleep(ms); }
    int CompareIgnoringCase(std::string_view a, std::string_view b) override
    {
        return inner_.CompareIgnoringCase(a, b);
    }
    int32_t Today() override { return inner_.Today(); }
    std::string VersionString() override { return inner_.VersionString(); }
    std::string FormatShortDate(int32_t dayNumber) override { return inner_.FormatShortDate(dayNumber); }
    void ProcessMessages() override { inner_.ProcessMessages(); }
    void IdleBetweenPolls(platform::SerialPort& port, uint32_t maxMs) override { inner_.IdleBetweenPolls(port, maxMs); }
    std::string PortDevice(const std::string& name) override { return inner_.PortDevice(name); }
    bool RequestsAbandoned() override { return inner_.RequestsAbandoned(); }
    void ShowMessage(const std::string&, const std::string&, platform::Severity) override {}
    void OpenUrl(const std::string& url) override { inner_.OpenUrl(url); }

private:
    platform::Host& inner_;
};

}  // namespace cli
