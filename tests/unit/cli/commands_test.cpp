// tarv-cli's subcommands against emulated adapters on the virtual clock: what goes over the wire,
// what the encoder holds afterwards, what is printed, and the exit code of each ending.
#include <gtest/gtest.h>

#include <csignal>

#include "cli/port_connection.h"
#include "cli/settings_request.h"
#include "support/cli_fixture.h"
#include "support/frames.h"
#include "support/programming_image.h"

namespace {

using nlohmann::ordered_json;
using sim::RequestKind;

const Bytes kPresence = {0x5A, 0x01, 0x00, 0x00};

cli::SettingsRequest Settings(const char* resolution, const char* edge, std::optional<cli::Direction> direction)
{
    cli::SettingsRequest request;
    if (resolution) cli::SetResolution(request, resolution);
    if (edge) cli::SetEdgeSeparation(request, edge);
    request.change.direction = direction;
    return request;
}

std::vector<Bytes> Concat(std::vector<std::vector<Bytes>> parts)
{
    std::vector<Bytes> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class CliCommandTest : public CliTest {
protected:
    cli::CliOptions Program(cli::SettingsRequest settings)
    {
        cli::CliOptions options = Options(cli::Subcommand::Program);
        options.settings = std::move(settings);
        options.json = true;
        return options;
    }
};

TEST_F(CliCommandTest, InfoReadsOnlyEvenABlankRecordThatReadWouldRepair)
{
    // A blank record with code 0x10 is named HXD3 and written back by READ; info must not.
    const eeprom::Image blank = sim::BlankImage(0xFF, sim::MakeConfigBlock(0x10, false, 10));
    auto adapter = AddAdapter("COM3", blank);
    cli::CliOptions options = Options(cli::Subcommand::Info);
    options.json = true;

    EXPECT_EQ(cli::RunInfo(options, context), 0);
    EXPECT_EQ(adapter->Frames(), Concat({{kPresence}, WholeReadFrames()}));
    EXPECT_EQ(adapter->memory(), blank);
    const ordered_json info = ordered_json::parse(out.str());
    EXPECT_EQ(info["product"], "");
    EXPECT_EQ(info["format"], 255);
    EXPECT_EQ(info["record_checksum_ok"], false);
    EXPECT_EQ(info["resolution"]["designation"], "2D0");
    EXPECT_FALSE(PortIsOpen());
}

TEST_F(CliCommandTest, WithoutPortTheFirstAdapterInTheListsOrderIsTaken)
{
    AddAdapter("COM2");
    AddAdapter("COM10", sim::Format2Image(), SilentAdapter());  // sorts first, answers nothing
    cli::CliOptions options = Options(cli::Subcommand::Info, "");

    EXPECT_EQ(cli::RunInfo(options, context), 0);
    EXPECT_EQ(host.openAttempts(), (std::vector<std::string>{"COM10", "COM2"}));
    EXPECT_EQ(Lines(out.str()).front(), "Port:             COM2");
}

TEST_F(CliCommandTest, ProgramRunsProgOnTheEncoderAndLogsTheLine)
{
    const eeprom::Image device = sim::Format2Image();  // KV24: family A, edge table 1
    auto adapter = AddAdapter("COM3", device);
    cli::CliOptions options = Program(Settings("D50", "0.12", cli::Direction::Positive));
    options.logPath = ScratchPath().string();

    EXPECT_EQ(cli::RunProgram(options, context), 0);

    const sim::ConfigBytes edited = sim::MakeConfigBlock(0x14, true, 0x4304);  // family A: positive sets the bit
    const eeprom::Image expected = ExpectedProgrammingImage(device, edited, kToday);
    // One read gives the product checked and the memory written.
    EXPECT_EQ(adapter->Frames(), Concat({{kPresence}, ProgrammingFrames(expected)}));
    EXPECT_EQ(adapter->memory(), expected);
    EXPECT_TRUE(host.messages().empty());

    const ordered_json line = ordered_json::parse(out.str());
    EXPECT_EQ(line["time"], "2024-05-01T10:00:00Z");
    EXPECT_EQ(line["port"], "COM3");
    EXPECT_EQ(line["product"], "KV24");
    EXPECT_EQ(line["serial"], "AB1234");
    EXPECT_EQ(line["before"]["resolution"]["designation"], "12B");
    const ordered_json after = ordered_json::parse(R"json({
        "resolution": {"designation": "D50", "text": "D50 (500)= 4 µm", "code": 20},
        "edge_separation": {"table": 1, "text": "0.12 µs (8.3 MHz)", "microseconds": 0.12, "value": 17156},
        "direction": "positive"})json");
    EXPECT_EQ(line["after"], after);
    EXPECT_EQ(line["result"], "ok");
    EXPECT_EQ(FileText(ScratchPath()), out.str());
    EXPECT_FALSE(PortIsOpen());
}

TEST_F(CliCommandTest, ResolutionWarningIsToldInWordsBeforeWriting)
{
    auto adapter = AddAdapter("COM3");
    EXPECT_EQ(cli::RunProgram(Program(Settings("03b", nullptr, {})), context), 0);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_NE(err.str().find("tarv-cli: warning: with 03B the reference mark does not work"), std::string::npos)
        << err.str();
    EXPECT_EQ(adapter->memory()[0] & 0x1F, 0x0D);
}

// A dry run begins as programming does: the same read, the same refusal and the same warning.
TEST_F(CliCommandTest, ProgramAndItsDryRunRefuseAndWarnInTheSameWords)
{
    struct Case {
        const char* resolution;
        const char* edge;
        int code;
        const char* told;
    };
    const Case cases[] = {
        {nullptr, "0.07", 6, "tarv-cli: --edge-separation: '0.07' is not in this encoder's table 1; choices: "},
        {"03b", nullptr, 0, "tarv-cli: warning: with 03B the reference mark does not work"},
    };
    AddAdapter("COM3");
    for (const Case& c : cases) {
        for (const bool dryRun : {true, false}) {
            SCOPED_TRACE(std::string(c.told) + (dryRun ? " (dry run)" : ""));
            err.str("");
            cli::CliOptions options = Program(Settings(c.resolution, c.edge, {}));
            options.dryRun = dryRun;
            EXPECT_EQ(cli::RunProgram(options, context), c.code);
            EXPECT_NE(err.str().find(c.told), std::string::npos) << err.str();
        }
    }
}

TEST_F(CliCommandTest, DryRunReadsOnceAndWritesNothing)
{
    const eeprom::Image device = sim::Format2Image();
    auto adapter = AddAdapter("COM3", device);
    cli::CliOptions options = Program(Settings("D50", nullptr, {}));
    options.dryRun = true;

    EXPECT_EQ(cli::RunProgram(options, context), 0);
    EXPECT_EQ(adapter->Frames(), Concat({{kPresence}, WholeReadFrames()}));
    EXPECT_EQ(adapter->memory(), device);

    // The changes are exactly those of the image that programming would write.
    const eeprom::Image wouldWrite = ExpectedProgrammingImage(device, sim::MakeConfigBlock(0x14, false, 10), kToday);
    const ordered_json report = ordered_json::parse(out.str());
    ordered_json changes = ordered_json::array();
    for (int address = 0; address < eeprom::kImageSize; ++address)
        if (device[address] != wouldWrite[address])
            changes.push_back({{"address", address}, {"old", device[address]}, {"new", wouldWrite[address]}});
    EXPECT_EQ(report["changes"], changes);
    EXPECT_EQ(report["before"]["resolution"]["designation"], "12B");
    EXPECT_EQ(report["after"]["resolution"]["designation"], "D50");
    EXPECT_EQ(report["written"], false);
}

TEST_F(CliCommandTest, EveryEndingHasItsExitCodeAndWritesOnlyWhenItMay)
{
    struct Case {
        const char* what;
        std::function<void(sim::AdapterOptions&)> adapter;
        const char* edgeSeparation;
        int exitCode;
        size_t writes;       // a failing block is the last one sent: 0x20 is the fifth
        const char* result;  // nullptr: no line
    };
    const Case cases[] = {
        {"done", [](sim::AdapterOptions&) {}, "1", 0, 16, "ok"},
        {"no adapter answers", [](sim::AdapterOptions& o) { o.presenceAnswer = std::nullopt; }, "1", 2, 0, nullptr},
        {"memory unread", [](sim::AdapterOptions& o) { o.encoderAbsent = true; }, "1", 3, 0, "read-failed"},
        {"block refused", [](sim::AdapterOptions& o) { o.blockStatus[0x20] = 0; }, "1", 4, 5, "write-failed"},
        {"block unanswered", [](sim::AdapterOptions& o) { o.ignoredBlocks.insert(0x20); }, "1", 4, 5, "write-failed"},
        {"cell keeps its value", [](sim::AdapterOptions& o) { o.stuckCells[4] = 0x0A; }, "0.12", 5, 16,
         "verification-failed"},
        // Presence, a whole read and sixteen blocks are answered; then the adapter falls silent.
        {"read-back unread", [](sim::AdapterOptions& o) { o.unplugAfterFrames = 1 + 4 + 16; }, "1", 5, 16,
         "verification-failed"},
        {"not in this encoder's table", [](sim::AdapterOptions&) {}, "0.07", 6, 0, "not-applicable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProgramState();
        out.str("");
        sim::AdapterOptions adapterOptions;
        c.adapter(adapterOptions);
        auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image(), adapterOptions);
        ConnectAdapter("COM3", adapter);

        EXPECT_EQ(cli::RunProgram(Program(Settings(nullptr, c.edgeSeparation, {})), context), c.exitCode);
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), c.writes);
        if (c.result)
            EXPECT_EQ(ordered_json::parse(out.str())["result"], c.result);
        else
            EXPECT_EQ(out.str(), "");
        EXPECT_FALSE(PortIsOpen());
    }
}

TEST_F(CliCommandTest, TheWholeReadBackIsComparedWithTheImageWritten)
{
    // A worn cell that keeps the old record checksum: the window's settings and tag compare equal,
    // but the encoder would report an invalid record.
    const eeprom::Image device = sim::Format2Image();
    sim::AdapterOptions worn;
    worn.stuckCells[0x5D] = device[0x5D];
    auto adapter = AddAdapter("COM3", device, worn);

    EXPECT_EQ(cli::RunProgram(Program(Settings(nullptr, "1", {})), context), 5);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    const ordered_json line = ordered_json::parse(out.str());
    EXPECT_EQ(line["result"], "verification-failed");
    const eeprom::Image written = ExpectedProgrammingImage(device, sim::MakeConfigBlock(0x0C, false, 10), kToday);
    char reason[80];
    std::snprintf(reason, sizeof reason, "address 0x5D reads back 0x%02X, 0x%02X was written", device[0x5D],
                  written[0x5D]);
    EXPECT_EQ(line["reason"], reason);
    EXPECT_NE(err.str().find(std::string("tarv-cli: ") + reason), std::string::npos) << err.str();
}

TEST_F(CliCommandTest, AnEncoderOfAnUnknownProductIsNotWritten)
{
    sim::ProductRecordSpec spec;
    spec.name = "ZZ99";
    auto adapter = AddAdapter("COM3", sim::Format2Image(spec));
    for (const bool dryRun : {false, true}) {
        SCOPED_TRACE(dryRun);
        adapter->ClearLog();
        out.str("");
        cli::CliOptions options = Program(Settings(nullptr, "1", {}));
        options.dryRun = dryRun;
        EXPECT_EQ(cli::RunProgram(options, context), 6);
        EXPECT_EQ(adapter->Frames(), Concat({{kPresence}, WholeReadFrames()}));
        if (!dryRun) {
            EXPECT_EQ(ordered_json::parse(out.str())["reason"], "unknown product");
        }
    }
}

TEST_F(CliCommandTest, ARecordThatCannotBeWrittenIsAFailure)
{
#ifdef _WIN32
    GTEST_SKIP() << "no device that opens for appending and then refuses the write";
#endif
    auto adapter = AddAdapter("COM3");
    cli::CliOptions options = Program(Settings(nullptr, "1", {}));
    options.logPath = "/dev/full";
    EXPECT_EQ(cli::RunProgram(options, context), 8);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_NE(err.str().find("tarv-cli: the record of this encoder could not be written: /dev/full: "),
              std::string::npos)
        << err.str();
}

TEST_F(CliCommandTest, AStopLetsTheWriteAndItsLineFinishOrComesBeforeAnyRead)
{
    auto adapter = AddAdapter("COM3");
    int signal = 0;
    adapter->OnFrame([&](const sim::LoggedFrame& frame) {
        if (frame.kind == RequestKind::EepromWrite) signal = SIGINT;  // a second one changes nothing
    });
    context.stopSignal = [&] { return signal; };
    EXPECT_EQ(cli::RunProgram(Program(Settings(nullptr, "1", {})), context), 130);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_EQ(ordered_json::parse(out.str())["result"], "ok");

    adapter->ClearLog();
    signal = SIGTERM;  // before the encoder was read: it is left untouched
    EXPECT_EQ(cli::RunProgram(Program(Settings(nullptr, "1", {})), context), 143);
    EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{kPresence}));
}

TEST_F(CliCommandTest, VerboseTellsEachBlockAndQuietOnlyErrors)
{
    AddAdapter("COM3");
    cli::CliOptions options = Program(Settings(nullptr, "1", {}));
    options.verbose = true;
    EXPECT_EQ(cli::RunProgram(options, context), 0);
    const std::vector<std::string> lines = Lines(err.str());
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines.front(), "tarv-cli: block 0x00 written");
    EXPECT_EQ(lines.back(), "tarv-cli: block 0x78 written");

    out.str("");
    err.str("");
    options.verbose = false;
    options.quiet = true;
    EXPECT_EQ(cli::RunProgram(options, context), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliCommandTest, PortsTellsAdapterNoAdapterAndUnavailable)
{
    AddAdapter("COM1");
    AddAdapter("COM2", sim::Format2Image(), SilentAdapter());
    host.ListPort("COM3");  // listed, but does not open
    cli::CliOptions options = Options(cli::Subcommand::Ports, "");
    options.json = true;

    EXPECT_EQ(cli::RunPorts(options, context), 0);
    const ordered_json expected = ordered_json::parse(R"json([{"port": "COM1", "status": "adapter"},
        {"port": "COM2", "status": "no-adapter"},
        {"port": "COM3", "status": "unavailable", "reason": "does not exist"}])json");
    ordered_json printed = ordered_json::parse(out.str());
    for (auto& port : printed) port.erase("tool");
    EXPECT_EQ(printed, expected);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_TRUE(SerialChannel.portName.empty());

    out.str("");
    EXPECT_EQ(cli::RunPorts(Options(cli::Subcommand::Ports, "COM2"), context), 2);
    EXPECT_EQ(out.str(), "COM2              no-adapter\n");
}

TEST_F(CliCommandTest, APortThatDoesNotOpenSaysWhy)
{
    using enum platform::PortOpenFailure;
    struct Case {
        platform::PortOpenFailure failure;
        const char* saying;
    };
    for (const Case c : {Case{NotFound, "does not exist"}, Case{PermissionDenied, "permission denied"},
                         Case{InUse, "in use by another program"}, Case{NotSerial, "not a serial port"}}) {
        SCOPED_TRACE(c.saying);
        err.str("");
        host.RefusePort("COM3", c.failure);
        EXPECT_EQ(cli::RunInfo(Options(cli::Subcommand::Info), context), 2);
        EXPECT_EQ(err.str().rfind(std::string("tarv-cli: COM3: ") + c.saying, 0), 0u) << err.str();
    }

    // The search names the ports that did not open, not just "no adapter".
    err.str("");
    AddAdapter("COM1", sim::Format2Image(), SilentAdapter());
    host.ListPort("COM3");
    host.RefusePort("COM3", PermissionDenied);
    EXPECT_EQ(cli::RunInfo(Options(cli::Subcommand::Info, ""), context), 2);
    EXPECT_EQ(err.str().rfind("tarv-cli: no adapter found on COM1, COM3 (COM3: permission denied", 0), 0u) << err.str();
}

TEST_F(CliCommandTest, BackupKeepsAnExistingFileUnlessForced)
{
    const eeprom::Image device = sim::Format1Image({}, 7);  // saved as stored, not as loaded
    auto adapter = AddAdapter("COM3", device);
    {
        std::ofstream existing(ScratchPath(), std::ios::binary);
        existing << "keep me";
    }
    cli::CliOptions options = Options(cli::Subcommand::Backup);
    options.backupFile = ScratchPath().string();

    EXPECT_EQ(cli::RunBackup(options, context), 1);
    EXPECT_TRUE(adapter->Frames().empty());
    EXPECT_EQ(FileText(ScratchPath()), "keep me");
    EXPECT_NE(err.str().find("--force"), std::string::npos);

    options.force = true;
    EXPECT_EQ(cli::RunBackup(options, context), 0);
    EXPECT_EQ(FileText(ScratchPath()), std::string(device.begin(), device.end()));
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 0u);
}

TEST_F(CliCommandTest, BackupToStandardOutputOrToAFileThatCannotBeMade)
{
    const eeprom::Image device = sim::Format2Image();
    auto adapter = AddAdapter("COM3", device);
    cli::CliOptions options = Options(cli::Subcommand::Backup);
    options.backupFile = "-";
    EXPECT_EQ(cli::RunBackup(options, context), 0);
    EXPECT_EQ(out.str(), std::string(device.begin(), device.end()));

    // Found before the encoder is read; nothing is left behind.
    adapter->ClearLog();
    options.backupFile = (ScratchPath() / "no-such-folder" / "enc.bin").string();
    EXPECT_EQ(cli::RunBackup(options, context), 1);
    EXPECT_TRUE(adapter->Frames().empty());
    EXPECT_NE(err.str().find("enc.bin: cannot be created: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("enc.bin.1.partial: "), std::string::npos) << err.str();  // and what the system says
}

// A permission refused names the device's own group and mode, and says that joining a group takes
// effect at the next login, only where its group may open it.
TEST(OpenFailureTextTest, APermissionRefusedNamesTheDevicesGroupAndMode)
{
    using platform::DeviceAccess;
    struct Case {
        std::optional<DeviceAccess> denied;
        std::string text;
    };
    const Case cases[] = {
        {DeviceAccess{"dialout", 0660},
         "permission denied (the device's group is dialout, mode 0660: add yourself to dialout; a new group takes "
         "effect at the next login)"},
        {DeviceAccess{"uucp", 02770},
         "permission denied (the device's group is uucp, mode 2770: add yourself to uucp; a new group takes effect "
         "at the next login)"},
        {DeviceAccess{"root", 0600},
         "permission denied (the device's group is root, mode 0600: its group may not read and write it either)"},
        {DeviceAccess{"tty", 0620},
         "permission denied (the device's group is tty, mode 0620: its group may not read and write it either)"},
        {std::nullopt, "permission denied"},  // the folder refused, or Windows: nothing more to tell
    };
    for (const Case& c : cases)
        EXPECT_EQ(cli::OpenFailureText(platform::PortOpenFailure::PermissionDenied, c.denied), c.text);
}

}  // namespace

namespace {

// An encoder whose answers come short is a fault of the encoder or its cable, told as such; no
// answer at all is an empty adapter. Each command that reads says which, and writes nothing.
TEST_F(CliCommandTest, AnAnswerOfTheWrongLengthIsToldAsAFaultNotAsAnEmptyAdapter)
{
    struct Case {
        const char* what;
        std::function<void(sim::AdapterOptions&)> adapter;
        std::string told;
    };
    const Case cases[] = {
        {"no encoder", [](sim::AdapterOptions& o) { o.encoderAbsent = true; },
         "tarv-cli: no encoder answers on COM3 (the adapter does)\n"},
        {"a byte short", [](sim::AdapterOptions& o) { o.shortReadBy = 1; },
         "tarv-cli: the encoder on COM3 answers with the wrong length: a fault of the encoder or its cable\n"},
    };
    using Run = int (*)(const cli::CliOptions&, cli::RunContext&);
    const std::pair<Run, cli::CliOptions> commands[] = {
        {cli::RunInfo, Options(cli::Subcommand::Info)},
        {cli::RunVerify, Options(cli::Subcommand::Verify)},
        {cli::RunProgram, Program(Settings("D50", nullptr, {}))},
    };
    for (const Case& c : cases) {
        for (const auto& [run, options] : commands) {
            SCOPED_TRACE(std::string(c.what) + ", command " + std::to_string(static_cast<int>(options.command)));
            ResetProgramState();
            err.str("");
            sim::AdapterOptions adapterOptions;
            c.adapter(adapterOptions);
            auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image(), adapterOptions);
            ConnectAdapter("COM3", adapter);
            EXPECT_EQ(run(options, context), 3);
            EXPECT_EQ(err.str(), c.told);
            EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 0u);
        }
    }
}

}  // namespace
