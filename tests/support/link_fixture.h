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
#include "support/bytes.h"
#include "support/program_state.h"

using Message = platform::VirtualHost::Message;

// An adapter that hears the presence request and never answers it.
inline sim::AdapterOptions SilentAdapter()
{
    sim::AdapterOptions options;
    options.presenceAnswer = std::nullopt;
    return options;
}

class LinkTest : public ::testing::Test {
protected:
    explicit LinkTest(uint32_t startTick = 100'000) : host(startTick), installed(host)
    {
        ResetProgramState();
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
