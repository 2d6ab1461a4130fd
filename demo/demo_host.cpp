#include "demo/demo_host.h"

#include <chrono>

#include "sim/emulated_port.h"
#include "sim/encoder_images.h"

namespace {
sim::Micros SteadyMicros()
{
    using namespace std::chrono;
    return static_cast<sim::Micros>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

sim::ProductRecordSpec DemoEncoder()
{
    sim::ProductRecordSpec spec;
    spec.name = "KV24";
    spec.serial = "DM2401";
    spec.manufactured = {2024, 3, 14};
    spec.lastChanged = {2025, 6, 2};
    return spec;
}
}  // namespace

DemoHost::DemoHost()
{
    sim::AdapterOptions options;
    options.wirePacing = true;
    options.latency = 2'000;
    options.blockWriteTime = 5'000;
    adapters_[kAdapterPort] = std::make_shared<sim::AdapterEmulator>(
        sim::Format2Image(DemoEncoder(), sim::MakeConfigBlock(0x12, false, 10)), options);
    // A port with nothing on it, so the search has something to pass over.
    sim::AdapterOptions nothing;
    nothing.unplugged = true;
    adapters_["COM1"] = std::make_shared<sim::AdapterEmulator>(eeprom::Image{}, nothing);
}

platform::OpenedPort DemoHost::OpenSerial(const std::string& name)
{
    const auto found = adapters_.find(name);
    if (found == adapters_.end()) return {nullptr, platform::PortOpenFailure::NotFound};
    return {std::make_unique<sim::EmulatedPort>(found->second, SteadyMicros), platform::PortOpenFailure::None};
}

platform::PortListing DemoHost::ListPorts()
{
    return {{"COM1", kAdapterPort}, false};
}
