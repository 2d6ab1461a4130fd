// The device link through the real POSIX serial code, in real time, against tarv-adapter-sim
// serving emulated adapters on pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "e2e/system_host_support.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "sim/encoder_images.h"
#include "sim/sim_process.h"
#include "support/bytes.h"
#include "support/program_state.h"
#include "support/sim_log.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// tarv-adapter-sim with `args`, ended by the test or at the latest with it.
class SimProcess : public sim::SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) : sim::SimProcess(TARV_ADAPTER_SIM, std::move(args)) {}
};

LoggedRequest Presence()
{
    return {"presence", "5A 01 00 00", "19200 8N2"};
}

class PtyAdapterTest : public ::testing::Test {
protected:
    PtyAdapterTest() { ResetProgramState(); }
    ~PtyAdapterTest() override { ResetProgramState(); }

    void SetUp() override
    {
        ASSERT_FALSE(root.path().empty());
        fs::create_directories(sysDir);
        fs::create_directories(devDir);
    }

    // Serves an adapter as port `name`: a tty entry with a device, and a link to its pty slave.
    // The server removes the link when it ends.
    SimProcess& Serve(const std::string& name, std::vector<std::string> args = {})
    {
        args.insert(args.end(), {"--log", LogPath(name).string(), "--link", (devDir / name).string()});
        SimProcess& sim = *sims.emplace_back(std::make_unique<SimProcess>(std::move(args)));
        EXPECT_FALSE(sim.slavePath().empty()) << "tarv-adapter-sim did not start";
        fs::create_directories(sysDir / name / "device");
        return sim;
    }

    fs::path LogPath(const std::string& name) const { return root.path() / (name + ".log"); }

    // The requests that the server behind `name` logged, once there are at least `count` of them.
    std::vector<LoggedRequest> Requests(const std::string& name, size_t count = 0) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        std::vector<LoggedRequest> requests = ParseLog(LogPath(name));
        while (requests.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            requests = ParseLog(LogPath(name));
        }
        return requests;
    }

    TempDir root;
    const fs::path sysDir = root.path() / "sys-class-tty";
    const fs::path devDir = root.path() / "dev";
    RecordingSystemHost host{{.sysClassTty = sysDir.string(), .devDir = devDir.string()}};
    platform::ScopedHost installed{host};
    std::vector<std::unique_ptr<SimProcess>> sims;  // declared last: the servers end first
};

TEST_F(PtyAdapterTest, ScanPassesOverASilentPortAndTakesTheAdapter)
{
    Serve("ttyUSB0");
    Serve("ttyACM0", {"--no-presence"});      // sorts first, so the scan has to pass over it
    fs::create_directories(sysDir / "tty1");  // a console, not a serial port

    EXPECT_TRUE(ScanForAdapter());

    EXPECT_EQ(PortList, (std::vector<std::string>{"ttyACM0", "ttyUSB0"}));
    EXPECT_EQ(SerialChannel.portName, "ttyUSB0");
    EXPECT_TRUE(PortIsOpen());
    EXPECT_EQ(Requests("ttyACM0", 1), std::vector{Presence()});
    EXPECT_EQ(Requests("ttyUSB0", 1), std::vector{Presence()});
    EXPECT_TRUE(host.messages.empty());
    // The silent port was closed again, lock and all.
    EXPECT_NE(host.OpenSerial("ttyACM0").port, nullptr);
}

TEST_F(PtyAdapterTest, ReadDeviceImageLoadsTheEncodersRecord)
{
    // As fast as the pty goes, at the wire speed of 19200 baud 8N2, and at that speed behind a USB
    // serial converter that passes answers on only when its 16 ms timer runs out.
    struct Variant {
        const char* what;
        std::string port;
        std::vector<std::string> args;
    };
    const Variant variants[] = {{"unpaced", "ttyUSB0", {}},
                                {"paced", "ttyUSB1", {"--pace"}},
                                {"paced, converter timer 16 ms", "ttyUSB2", {"--pace", "--usb-latency", "16"}}};
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.what);
        const std::string& port = variant.port;
        std::vector<std::string> args = {"--product",      "KV26",       "--serial",  "ZX9876",
                                         "--manufactured", "2019-03-04", "--changed", "2021-11-30"};
        args.insert(args.end(), variant.args.begin(), variant.args.end());
        Serve(port, args);

        ASSERT_EQ(TryPort(port), 0);
        ASSERT_EQ(ReadDeviceImage(), 1);

        EXPECT_EQ(AsBytes(DeviceModel.ProductName), TextBytes("KV26"));
        EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), TextBytes("ZX9876"));
        EXPECT_EQ(DayNumberFromBytes(DeviceModel.ManufacturedDate), DayNumberFromDate({2019, 3, 4}));
        EXPECT_EQ(DayNumberFromBytes(DeviceModel.LastChangedDate), DayNumberFromDate({2021, 11, 30}));
        EXPECT_EQ(DeviceModel.DeviceTag, sim::kSimDeviceTag);
        const std::vector<LoggedRequest> expected = {Presence(),
                                                     {"eeprom-read", "55 A1 00 20", "19200 8N2"},
                                                     {"eeprom-read", "55 A1 20 20", "19200 8N2"},
                                                     {"eeprom-read", "55 A1 40 20", "19200 8N2"},
                                                     {"eeprom-read", "55 A1 60 20", "19200 8N2"}};
        EXPECT_EQ(Requests(port), expected);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(PtyAdapterTest, WriteProductRecordWritesThreeBlocksAndVerifiesThem)
{
    Serve("ttyUSB0");
    ASSERT_TRUE(ScanForAdapter());
    ASSERT_EQ(ReadDeviceImage(), 1);
    const auto newSerial = TextBytes("CD5678");
    std::copy(newSerial.begin(), newSerial.end(), DeviceModel.SerialNumber.begin());

    WriteProductRecord();

    EXPECT_TRUE(host.messages.empty());
    // The default record with the new serial, as the emulator's own image builder lays it out.
    const eeprom::Image expected = sim::Format2Image({.serial = "CD5678"});
    const auto record = std::span(expected).subspan(eeprom::kProductRecordAddress, eeprom::kProductRecordSize);
    const std::vector<LoggedRequest> writes = {
        {"eeprom-write", "55 A0 48 08 " + Hex(record.subspan(0, 8)), "19200 8N2"},
        {"eeprom-write", "55 A0 50 08 " + Hex(record.subspan(8, 8)), "19200 8N2"},
        {"eeprom-write", "55 A0 58 06 " + Hex(record.subspan(16, 6)), "19200 8N2"},
        {"eeprom-read", "55 A1 48 16", "19200 8N2"}};
    const std::vector<LoggedRequest> requests = Requests("ttyUSB0");
    ASSERT_GE(requests.size(), writes.size());
    EXPECT_EQ(std::vector(requests.end() - 4, requests.end()), writes);

    // The encoder keeps it: a fresh read finds the new serial.
    DeviceModel.SerialNumber.fill(0);
    ASSERT_EQ(ReadDeviceImage(), 1);
    EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), newSerial);
}

TEST_F(PtyAdapterTest, APortInUseDoesNotOpenAgain)
{
    Serve("ttyUSB0");
    auto first = host.OpenSerial("ttyUSB0");
    ASSERT_NE(first.port, nullptr);

    // The lock holds even for root, whom TIOCEXCL does not stop.
    const platform::OpenedPort second = host.OpenSerial("ttyUSB0");
    EXPECT_EQ(second.port, nullptr);
    EXPECT_EQ(second.failure, platform::PortOpenFailure::InUse);
    EXPECT_EQ(TryPort("ttyUSB0"), -2);
    EXPECT_EQ(LastOpenFailure(), platform::PortOpenFailure::InUse);
    EXPECT_TRUE(Requests("ttyUSB0").empty());

    first.port.reset();
    EXPECT_EQ(TryPort("ttyUSB0"), 0);
}

TEST_F(PtyAdapterTest, ServerEndsCleanlyOnSigtermAndAtStdinEof)
{
    for (const bool bySignal : {true, false}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "stdin EOF");
        const std::string port = bySignal ? "ttyUSB0" : "ttyUSB1";
        SimProcess& sim = Serve(port);
        ASSERT_TRUE(fs::is_symlink(devDir / port));
        EXPECT_EQ(bySignal ? sim.Terminate() : sim.CloseStdinAndWait(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(devDir / port)));
    }
}

TEST_F(PtyAdapterTest, APortWhoseOtherSideVanishesFailsWithinItsDeadlines)
{
    SimProcess& sim = Serve("ttyUSB0");
    ASSERT_TRUE(ScanForAdapter());
    ASSERT_EQ(ReadDeviceImage(), 1);
    const DeviceModelState before = DeviceModel;
    ASSERT_EQ(sim.Terminate(), 0);  // the pty's master side is closed under the open port

    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(PingAdapter(), 3);
    std::array<uint8_t, 4> name = {1, 2, 3, 4};
    EXPECT_EQ(ReadEepromBlock(73, 4, name), 0);
    EXPECT_EQ(ReadDeviceImage(), 0);
    WriteProductRecord();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    // A hung-up pty fails its queue queries, so the last successful count (the image read's 128)
    // stands and every wait ends at once; the reads that then deliver nothing give the fault away.
    // Even had the waits run out, they would end within their deadlines.
    EXPECT_LT(elapsed, 2500ms);
    EXPECT_EQ(name, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(DeviceModel.ConfigBlock, before.ConfigBlock);
    EXPECT_EQ(DeviceModel.SerialNumber, before.SerialNumber);
    EXPECT_EQ(DeviceModel.DeviceTag, before.DeviceTag);
    const std::vector<std::pair<std::string, std::string>> expected = {{"False communication with EEPROM 1", "ERROR"},
                                                                       {"False communication with EEPROM", "ERROR"},
                                                                       {"COM port is not responding", "ERROR"}};
    EXPECT_EQ(host.messages, expected);
}

TEST(TarvAdapterSimTest, AnswersPresenceOnItsPtyWithoutAnyLineSetup)
{
    // Raw from the start: in the pty's default cooked mode the answer 4 would be taken as end of file.
    SimProcess sim({"--log", "/dev/null"});
    ASSERT_FALSE(sim.slavePath().empty());
    const int fd = open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const uint8_t presence[] = {0x5A, 0x01, 0x00, 0x00};
    ASSERT_EQ(write(fd, presence, sizeof presence), 4);
    pollfd readable{fd, POLLIN, 0};
    uint8_t answer = 0;
    EXPECT_EQ(poll(&readable, 1, 1000), 1);
    EXPECT_EQ(read(fd, &answer, 1), 1);
    EXPECT_EQ(answer, 4);
    close(fd);
}

TEST(TarvAdapterSimTest, RejectsBadArgumentsWithExitCode2)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--product", "KV2"},
        {"--serial", "AB12345"},
        {"--manufactured", "2014-02-30"},
        {"--changed", "2014-1-08"},
        {"--format", "3"},
        {"--presence", "256"},
        {"--refuse-block", "0x1G0"},
        {"--latency"},
        {"--usb-latency", "256"},
        {"--pace=1"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        const pid_t pid = sim::SpawnProcess(TARV_ADAPTER_SIM, args, sim::kNullStream, sim::kNullStream);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(sim::Reap(pid, 2s), 2);
    }
}

}  // namespace
