// A test fixture with the virtual-clock host installed, emulated adapters on named ports and the
// program-wide state reset around every test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/virtual_host.h"
#include "sim/adapter_emulator.h"
#include "sim/emulated_port.h"
#include "sim/encoder_images.h"

using Bytes = std::vector<uint8_t>;
using Message = platform::VirtualHost::Message;

inline void ResetProgramState()
{
    DeviceModel = DeviceModelState{};
    SerialChannel.port.reset();
    SerialChannel.portName.clear();
    SerialChannel.bytesWaiting = 0;
    PortList.clear();
}

class LinkTest : public ::testing::Test {
protected:
    explicit LinkTest(uint32_t startTick = 100'000) : host(startTick), installed(host)
    {
        ResetProgramState();
        BuildCrcTable();
    }
    ~LinkTest() override { ResetProgramState(); }

    // An adapter that the host lists under `name` and that opens.
    std::shared_ptr<sim::AdapterEmulator> AddAdapter(const std::string& name,
                                                     const eeprom::Image& image = sim::Format2Image(),
                                                     sim::AdapterOptions options = {})
    {
        auto adapter = std::make_shared<sim::AdapterEmulator>(image, std::move(options));
        host.ListPort(name);
        ConnectAdapter(name, adapter);
        return adapter;
    }

    void ConnectAdapter(const std::string& name, std::shared_ptr<sim::AdapterEmulator> adapter)
    {
        host.ConnectPort(name, [this, adapter] {
            return std::make_unique<sim::EmulatedPort>(adapter, [this] { return host.NowMicros(); });
        });
    }

    // An adapter on a port that is already open and in use, as after a successful scan.
    std::shared_ptr<sim::AdapterEmulator> OpenAdapter(const eeprom::Image& image = sim::Format2Image(),
                                                      sim::AdapterOptions options = {})
    {
        auto adapter = AddAdapter("COM3", image, std::move(options));
        OpenPort("COM3");
        return adapter;
    }

    uint32_t ElapsedMsSince(uint64_t startMicros) const
    {
        return static_cast<uint32_t>((host.NowMicros() - startMicros) / 1000);
    }

    platform::VirtualHost host;
    platform::ScopedHost installed;
};

inline Bytes ImageBytes(const eeprom::Image& image, int address, int count)
{
    return {image.begin() + address, image.begin() + address + count};
}

template <size_t N>
Bytes AsBytes(const std::array<uint8_t, N>& field)
{
    return {field.begin(), field.end()};
}

inline Bytes TextBytes(const std::string& text) { return {text.begin(), text.end()}; }
