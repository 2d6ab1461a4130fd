// The driver's low-latency flag, as the real POSIX port asks for it: only once the adapter has
// answered on the port, once, and given back at the close if the port changed it. A recording
// driver stands in for one that has the flag; no pseudo-terminal has one.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/system_host_support.h"
#include "link/Procedure_Tarv_Config.h"
#include "platform/driver_low_latency.h"
#include "sim/sim_process.h"
#include "support/program_state.h"

namespace {
namespace fs = std::filesystem;

// A driver with the flag on every terminal, off at first (unless the test says otherwise), that
// notes each call with the terminal it went to.
class RecordingLowLatency final : public platform::DriverLowLatency {
public:
    struct Call {
        std::string device;
        std::string what;  // "get", "set on", "set off"
        bool operator==(const Call&) const = default;
    };

    std::optional<bool> Get(int fd) override
    {
        calls.push_back({DeviceOf(fd), "get"});
        if (!hasFlag) return std::nullopt;
        return flags[DeviceOf(fd)];
    }

    bool Set(int fd, bool on) override
    {
        calls.push_back({DeviceOf(fd), on ? "set on" : "set off"});
        if (!hasFlag || refusesSet) return false;
        flags[DeviceOf(fd)] = on;
        return true;
    }

    static std::string DeviceOf(int fd)
    {
        const char* name = ttyname(fd);
        return name != nullptr ? name : "?";
    }

    bool hasFlag = true;
    bool refusesSet = false;
    std::map<std::string, bool> flags;  // by terminal
    std::vector<Call> calls;
};

// A pseudo-terminal that nothing serves: the port's own calls are all that reach it.
class BarePty {
public:
    BarePty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
    }
    ~BarePty()
    {
        if (master_ >= 0) close(master_);
    }
    BarePty(const BarePty&) = delete;
    BarePty& operator=(const BarePty&) = delete;

    const std::string& slave() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

TEST(SerialLowLatencyTest, AskedOnceAfterTheAdapterAnsweredAndGivenBackAtTheClose)
{
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        bool hasFlag;
        bool flagBefore;
        bool refusesSet;
        int answers;  // how often the port is told that the adapter answered
        Calls whileOpen;
        Calls atClose;
        bool flagAfter;
    };
    const Case cases[] = {
        {"no adapter answered", true, false, false, 0, {}, {}, false},
        {"the adapter answered", true, false, false, 1, {"get", "set on"}, {"set off"}, false},
        {"the adapter answered at every ping", true, false, false, 3, {"get", "set on"}, {"set off"}, false},
        {"the flag was on already", true, true, false, 2, {"get"}, {}, true},
        {"a driver without the flag", false, false, false, 2, {"get"}, {}, false},
        {"a driver that refuses it", true, false, true, 2, {"get", "set on"}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        BarePty pty;
        ASSERT_FALSE(pty.slave().empty());
        fs::create_directories(root.path() / "dev");
        fs::create_symlink(pty.slave(), root.path() / "dev" / "ttyUSB0");
        RecordingLowLatency driver;
        driver.hasFlag = c.hasFlag;
        driver.refusesSet = c.refusesSet;
        driver.flags[pty.slave()] = c.flagBefore;
        RecordingSystemHost host({.sysClassTty = "/nonexistent", .devDir = (root.path() / "dev").string()}, driver);

        platform::OpenedPort opened = host.OpenSerial("ttyUSB0");
        ASSERT_NE(opened.port, nullptr);
        EXPECT_TRUE(driver.calls.empty()) << "asked before any answer";
        for (int i = 0; i < c.answers; ++i) opened.port->AdapterAnswered();
        std::vector<RecordingLowLatency::Call> expected;
        for (const std::string& what : c.whileOpen) expected.push_back({pty.slave(), what});
        EXPECT_EQ(driver.calls, expected);
        opened.port.reset();
        for (const std::string& what : c.atClose) expected.push_back({pty.slave(), what});
        EXPECT_EQ(driver.calls, expected);
        EXPECT_EQ(driver.flags[pty.slave()], c.flagAfter);
    }
}

// The operating system's flag on a pseudo-terminal, the one terminal every test machine has: the
// driver has none, which the port takes as a refusal and leaves alone.
TEST(SerialLowLatencyTest, APseudoTerminalHasNoFlagToGive)
{
    BarePty pty;
    ASSERT_FALSE(pty.slave().empty());
    const int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    platform::DriverLowLatency& driver = platform::SystemDriverLowLatency();
    EXPECT_EQ(driver.Get(fd), std::nullopt);
    EXPECT_FALSE(driver.Set(fd, true));
    close(fd);
}

// Through the link against tarv-adapter-sim: a search passes over a terminal where no adapter
// answers without a word to its driver, and only the adapter's port asks for the flag, however
// often the watch pings it, until the port is released.
class LowLatencyThroughTheLinkTest : public ::testing::Test {
protected:
    LowLatencyThroughTheLinkTest() { ResetProgramState(); }
    ~LowLatencyThroughTheLinkTest() override { ResetProgramState(); }  // a port left open closes first

    // Serves an adapter as port `name`, with `args` for tarv-adapter-sim; its pty slave's path.
    std::string Serve(const std::string& name, std::vector<std::string> args)
    {
        args.insert(args.end(), {"--log", "/dev/null", "--link", (devDir / name).string()});
        sims.push_back(std::make_unique<sim::SimProcess>(TARV_ADAPTER_SIM, std::move(args)));
        fs::create_directories(sysDir / name / "device");
        return sims.back()->slavePath();
    }

    TempDir root;
    const fs::path sysDir = root.path() / "sys-class-tty";
    const fs::path devDir = root.path() / "dev";
    RecordingLowLatency driver;
    RecordingSystemHost host{{.sysClassTty = sysDir.string(), .devDir = devDir.string()}, driver};
    platform::ScopedHost installed{host};
    std::vector<std::unique_ptr<sim::SimProcess>> sims;
};

TEST_F(LowLatencyThroughTheLinkTest, OnlyThePortWhereTheAdapterAnsweredAsks)
{
    ASSERT_TRUE(fs::create_directories(devDir));
    // ttyACM0 sorts first, so the search opens it, pings it and closes it before the adapter's.
    const std::string silent = Serve("ttyACM0", {"--no-presence"});
    const std::string adapter = Serve("ttyUSB0", {});
    ASSERT_FALSE(silent.empty() || adapter.empty()) << "tarv-adapter-sim did not start";

    ASSERT_TRUE(ScanForAdapter());
    ASSERT_EQ(SerialChannel.portName, "ttyUSB0");
    for (int ping = 0; ping < 3; ++ping) EXPECT_GE(PingAdapter(), kAdapterStillThere);
    std::vector<RecordingLowLatency::Call> expected = {{adapter, "get"}, {adapter, "set on"}};
    EXPECT_EQ(driver.calls, expected);

    ReleasePort();
    expected.push_back({adapter, "set off"});
    EXPECT_EQ(driver.calls, expected);
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
