// The device link through the real Win32 serial code, in real time: tarv-adapter-sim (the Linux
// build, with its default encoder) serves a pseudo-terminal that wine maps to a COM port.
// scripts/test-windows.sh sets that up and names the port and the emulator's frame log in
// TARV_E2E_COM_PORT and TARV_E2E_SIM_LOG; without them the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/system_host_support.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "sim/encoder_images.h"
#include "support/bytes.h"
#include "support/program_state.h"
#include "support/sim_log.h"

namespace {
using namespace std::chrono_literals;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class ComPortTest : public ::testing::Test {
protected:
    ComPortTest()
    {
        ResetProgramState();
    }
    ~ComPortTest() override { ResetProgramState(); }

    void SetUp() override
    {
        if (port.empty() || logPath.empty()) GTEST_SKIP() << "TARV_E2E_COM_PORT and TARV_E2E_SIM_LOG are not set";
    }

    // The requests logged since the test began, once there are `count` of them.
    std::vector<LoggedRequest> NewRequests(size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        std::vector<LoggedRequest> requests = ParseLog(logPath);
        while (requests.size() < logged + count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            requests = ParseLog(logPath);
        }
        return {requests.begin() + static_cast<ptrdiff_t>(std::min(logged, requests.size())), requests.end()};
    }

    const std::string port = Environment("TARV_E2E_COM_PORT");
    const std::string logPath = Environment("TARV_E2E_SIM_LOG");
    const size_t logged = logPath.empty() ? 0 : ParseLog(logPath).size();  // earlier runs' requests
    RecordingSystemHost host;
    platform::ScopedHost installed{host};
};

TEST_F(ComPortTest, ScanFindsTheAdapterThenReadsTheMemoryAndWritesTheRecord)
{
    ASSERT_TRUE(ScanForAdapter());
    EXPECT_EQ(SerialChannel.portName, port);
    EXPECT_NE(std::find(PortList.begin(), PortList.end(), port), PortList.end());

    ASSERT_EQ(ReadDeviceImage(), 1);
    const eeprom::Image served = sim::Format2Image();
    EXPECT_EQ(AsBytes(DeviceModel.ConfigBlock), ImageBytes(served, 0, eeprom::kConfigBlockSize));
    EXPECT_EQ(AsBytes(DeviceModel.ProductName), TextBytes("KV24"));
    EXPECT_EQ(DayNumberFromBytes(DeviceModel.ManufacturedDate), DayNumberFromDate({2014, 1, 8}));
    EXPECT_EQ(DeviceModel.DeviceTag, sim::kSimDeviceTag);

    // A serial unlike the one read, so that a second run against the same emulator writes too.
    const Bytes newSerial = TextBytes(AsBytes(DeviceModel.SerialNumber) == TextBytes("CD5678") ? "EF9012" : "CD5678");
    std::copy(newSerial.begin(), newSerial.end(), DeviceModel.SerialNumber.begin());
    WriteProductRecord();
    DeviceModel.SerialNumber.fill(0);
    ASSERT_EQ(ReadDeviceImage(), 1);
    EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), newSerial);
    EXPECT_TRUE(host.messages.empty());

    // Every frame reached the emulator at the line settings that SetCommState wrote (a fresh
    // pseudo-terminal is at 38400 8N1).
    const std::vector<LoggedRequest> requests = NewRequests(13);
    std::vector<std::string> kinds;
    for (const LoggedRequest& request : requests) {
        kinds.push_back(request.kind);
        EXPECT_EQ(request.line, "19200 8N2") << request.kind << " [" << request.bytes << "]";
    }
    const std::vector<std::string> expected = {
        "presence",                                                      // the scan
        "eeprom-read",  "eeprom-read",  "eeprom-read",  "eeprom-read",   // the whole memory
        "eeprom-write", "eeprom-write", "eeprom-write", "eeprom-read",   // the record and its check
        "eeprom-read",  "eeprom-read",  "eeprom-read",  "eeprom-read"};  // the memory again
    EXPECT_EQ(kinds, expected);
}

}  // namespace
