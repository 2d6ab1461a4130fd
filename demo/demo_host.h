// The demo's host: the real UI services and clock, with serial ports that lead to emulated
// adapters instead of hardware, so the whole program can be tried without an encoder.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/qt_host.h"
#include "sim/adapter_emulator.h"

class DemoHost : public platform::QtHost {
public:
    DemoHost();

    platform::OpenedPort OpenSerial(const std::string& name) override;
    platform::PortListing ListPorts() override;

    // The port with the emulated adapter, and the encoder behind it.
    static constexpr const char* kAdapterPort = "COM3";

private:
    std::map<std::string, std::shared_ptr<sim::AdapterEmulator>> adapters_;
};
