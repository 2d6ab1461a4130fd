// tarv-cli as a program, through the real POSIX serial code, against tarv-adapter-sim on a
// pseudo-terminal: what it prints, what the wire saw, what the encoder holds, and its exit codes.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>

#include "e2e/cli_process.h"
#include "e2e/system_host_support.h"
#include "sim/encoder_images.h"
#include "sim/sim_process.h"
#include "support/bytes.h"
#include "support/programming_image.h"
#include "support/sim_log.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::ordered_json;

const LoggedRequest kPresence = {"presence", "5A 01 00 00", "19200 8N2"};

std::vector<LoggedRequest> WholeRead()
{
    std::vector<LoggedRequest> reads;
    for (const char* address : {"00", "20", "40", "60"})
        reads.push_back({"eeprom-read", std::string("55 A1 ") + address + " 20", "19200 8N2"});
    return reads;
}

std::vector<LoggedRequest> Writes(const eeprom::Image& image)
{
    std::vector<LoggedRequest> writes;
    for (int address = 0; address < eeprom::kImageSize; address += 8) {
        const Bytes header = {0x55, 0xA0, static_cast<uint8_t>(address), 8};
        writes.push_back({"eeprom-write", Hex(header) + " " + Hex(std::span(image).subspan(address, 8)), "19200 8N2"});
    }
    return writes;
}

std::vector<LoggedRequest> Concat(std::vector<std::vector<LoggedRequest>> parts)
{
    std::vector<LoggedRequest> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Line settings that another program would leave on a terminal: 9600 baud, canonical, echo.
bool SetAnotherProgramsLine(int fd)
{
    termios line{};
    if (tcgetattr(fd, &line) != 0) return false;
    cfsetispeed(&line, B9600);
    cfsetospeed(&line, B9600);
    line.c_lflag |= ICANON | ECHO;
    return tcsetattr(fd, TCSANOW, &line) == 0;
}

class CliE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.path().empty());
        // Each test runs in a process of its own: its tarv-cli children keep their images here.
        setenv("TARV_DATA_DIR", dataFolder.c_str(), 1);
    }

    // An emulated adapter whose port is the link `port` in the scratch folder.
    sim::SimProcess& Serve(std::vector<std::string> args = {})
    {
        args.insert(args.end(), {"--log", logPath.string(), "--link", port});
        sims.push_back(std::make_unique<sim::SimProcess>(TARV_ADAPTER_SIM, std::move(args)));
        EXPECT_FALSE(sims.back()->slavePath().empty()) << "tarv-adapter-sim did not start";
        return *sims.back();
    }

    std::unique_ptr<CliProcess> Start(std::vector<std::string> args)
    {
        auto cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
        EXPECT_TRUE(cli->Started());
        return cli;
    }

    // Runs tarv-cli to its end; its exit code.
    int Run(std::vector<std::string> args)
    {
        cli = Start(std::move(args));
        return cli->Wait();
    }

    std::vector<LoggedRequest> Requests(size_t atLeast = 0) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        std::vector<LoggedRequest> requests = ParseLog(logPath);
        while (requests.size() < atLeast && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            requests = ParseLog(logPath);
        }
        return requests;
    }

    size_t Count(const std::vector<LoggedRequest>& requests, const std::string& kind) const
    {
        return static_cast<size_t>(
            std::count_if(requests.begin(), requests.end(), [&](const LoggedRequest& r) { return r.kind == kind; }));
    }

    TempDir root;
    const fs::path logPath = root.path() / "sim.log";
    const std::string port = (root.path() / "ttyADAPTER").string();
    const std::string dataFolder = (root.path() / "data").string();
    std::unique_ptr<CliProcess> cli;
    std::vector<std::unique_ptr<sim::SimProcess>> sims;  // declared last: the servers end first
};

TEST_F(CliE2eTest, InfoJsonReadsTheWholeMemoryAndWritesNothing)
{
    Serve({"--product", "KV26", "--serial", "ZX9876", "--manufactured", "2019-03-04", "--pace"});
    ASSERT_EQ(Run({"info", "--json", "--port", port}), 0) << cli->Err();

    const ordered_json info = ordered_json::parse(cli->Out());
    EXPECT_EQ(info["port"], port);
    EXPECT_EQ(info["product"], "KV26");
    EXPECT_EQ(info["serial"], "ZX9876");
    EXPECT_EQ(info["manufactured"], "2019-03-04");
    EXPECT_EQ(info["last_changed"], "2014-01-08");
    EXPECT_EQ(info["format"], 2);
    EXPECT_EQ(info["resolution"]["designation"], "12B");
    EXPECT_EQ(info["edge_separation"]["table"], 1);
    EXPECT_EQ(info["direction"], "positive");  // bit 5 clear: family B's first row
    EXPECT_EQ(info["config_crc_ok"], true);
    EXPECT_EQ(info["record_checksum_ok"], true);
    EXPECT_EQ(Requests(5), Concat({{kPresence}, WholeRead()}));
    EXPECT_EQ(cli->Err(), "");
}

TEST_F(CliE2eTest, ProgramSendsProgsFramesAndTheEncoderKeepsTheImage)
{
    Serve();
    const eeprom::Image device = sim::Format2Image();
    const int32_t today = RecordingSystemHost().Today();
    ASSERT_EQ(
        Run({"program", "--port", port, "--resolution", "D50", "--edge-separation", "0.5", "--direction", "positive"}),
        0)
        << cli->Err();

    const eeprom::Image expected = ExpectedProgrammingImage(device, sim::MakeConfigBlock(0x14, true, 0x4104), today);
    EXPECT_EQ(Requests(25), Concat({{kPresence}, WholeRead(), Writes(expected), WholeRead()}));
    const std::vector<std::string> lines = Lines(cli->Out());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" KV24 AB1234 ok: resolution D50, edge separation 0.5 \u00B5s (2 MHz), direction positive"),
              std::string::npos)
        << lines[0];

    // What the encoder now holds, byte for byte, as a backup reads it.
    const fs::path backup = root.path() / "after.bin";
    ASSERT_EQ(Run({"backup", backup.string(), "--port", port}), 0) << cli->Err();
    EXPECT_EQ(FileText(backup), std::string(expected.begin(), expected.end()));
}

TEST_F(CliE2eTest, DryRunReadsAndSendsNoWrite)
{
    Serve();
    ASSERT_EQ(Run({"program", "--dry-run", "--json", "--port", port, "--resolution", "04B"}), 0) << cli->Err();
    const ordered_json report = ordered_json::parse(cli->Out());
    EXPECT_EQ(report["after"]["resolution"]["designation"], "04B");
    EXPECT_EQ(report["changes"][0], ordered_json({{"address", 0}, {"old", 0xC4}, {"new", 0xCC}}));
    EXPECT_EQ(Requests(5), Concat({{kPresence}, WholeRead()}));
    EXPECT_EQ(cli->Err(), "tarv-cli: warning: with 04B the reference mark does not work, and an edge separation of "
                          "0.12 \u00B5s is not recommended\n");
}

TEST_F(CliE2eTest, EveryExitCode)
{
    const fs::path existing = root.path() / "existing.bin";
    std::ofstream(existing) << "keep";
    struct Case {
        const char* what;
        std::vector<std::string> sim;  // "none": nothing behind the port
        std::vector<std::string> cli;
        int code;
        size_t writes;
        std::string told = {};  // all of standard error, where the case checks it
    };
    const std::string noEncoder = "tarv-cli: no encoder answers on " + port + " (the adapter does)\n";
    const Case cases[] = {
        {"done", {"--pace"}, {"program", "--edge-separation", "1"}, 0, 16, ""},
        {"bad value", {"--pace"}, {"program", "--resolution", "X99"}, 1, 0},
        {"backup file exists", {"--pace"}, {"backup", existing.string()}, 1, 0},
        {"no adapter answers", {"--no-presence"}, {"info"}, 2, 0, "tarv-cli: no adapter answers on " + port + "\n"},
        {"no such port", {"none"}, {"info"}, 2, 0},
        {"no encoder on the adapter", {"--no-encoder"}, {"program", "--direction", "negative"}, 3, 0, noEncoder},
        {"no encoder to verify", {"--no-encoder"}, {"verify"}, 3, 0, noEncoder},
        {"block refused", {"--refuse-block", "0x20"}, {"program", "--direction", "negative"}, 4, 5,
         "tarv-cli: block 0x20 was refused; the blocks before it are written\n"},
        {"block not answered", {"--ignore-block", "0x28"}, {"program", "--direction", "negative"}, 4, 6,
         "tarv-cli: block 0x28 was not answered; the blocks before it are written\n"},
        {"cell keeps its value", {"--stuck-cell", "4=0x0A"}, {"program", "--edge-separation", "0.12"}, 5, 16,
         "tarv-cli: address 0x04 reads back 0x0A, 0x04 was written\n"},
        {"not in the encoder's table", {}, {"program", "--edge-separation", "0.07"}, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove(logPath, ignored);
        if (c.sim != std::vector<std::string>{"none"}) Serve(c.sim);
        std::vector<std::string> args = c.cli;
        args.insert(args.end(), {"--port", port});
        EXPECT_EQ(Run(args), c.code) << cli->Err();
        EXPECT_EQ(Count(Requests(), "eeprom-write"), c.writes);
        // In tarv-cli's own words, never the window's boxes; a failure always says something.
        if (c.code != 0) {
            EXPECT_NE(cli->Err(), "");
        }
        if (!c.told.empty() || c.code == 0) {
            EXPECT_EQ(cli->Err(), c.told);
        }
        EXPECT_EQ(cli->Err().find("ERROR"), std::string::npos) << cli->Err();
        sims.clear();
    }
    EXPECT_EQ(FileText(existing), "keep");
}

TEST_F(CliE2eTest, NothingButATerminalIsOpenedAsAPort)
{
    const fs::path file = root.path() / "some-file";
    const std::string content = "the first bytes of a file that is no port";
    std::ofstream(file) << content;
    const fs::path folder = root.path() / "a-folder";
    fs::create_directory(folder);
    struct Case {
        std::string port;
        const char* saying;
    };
    const Case cases[] = {
        {file.string(), "not a serial port"},
        {"/dev/null", "not a serial port"},
        {folder.string(), "not a serial port"},
        {(root.path() / "missing").string(), "does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"info"}, std::vector<std::string>{"program", "--direction", "negative"}}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--port", c.port});
            EXPECT_EQ(Run(args), 2);
            EXPECT_EQ(cli->Err(), "tarv-cli: " + c.port + ": " + c.saying + "\n");
        }
    }
    EXPECT_EQ(FileText(file), content);

    // /dev/tty exists; in a session without a terminal there is nothing behind it.
    auto detached = std::make_unique<CliProcess>("/usr/bin/setsid", std::vector<std::string>{TARV_CLI, "info", "--port", "/dev/tty"},
                                                 root.path());
    EXPECT_EQ(detached->Wait(), 2);
    EXPECT_EQ(detached->Err(), "tarv-cli: /dev/tty: has no device behind it (for /dev/tty: no controlling terminal)\n");
}

// A terminal probed for the adapter that is not one (a console, a modem) gets back the line that
// it had; the adapter's port keeps the line that the link set.
TEST_F(CliE2eTest, ATerminalThatIsNoAdapterGetsItsLineSettingsBack)
{
    const int bareMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(bareMaster, 0);
    ASSERT_EQ(grantpt(bareMaster), 0);
    ASSERT_EQ(unlockpt(bareMaster), 0);
    const std::string bare = ptsname(bareMaster);
    Serve();
    struct Case {
        const char* what;
        std::string port;
        int code;
        speed_t speedAfter;
        bool canonicalAfter;
    };
    const Case cases[] = {
        {"a terminal with no adapter", bare, 2, B9600, true},
        {"the adapter's port", port, 0, B19200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int fd = open(c.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SetAnotherProgramsLine(fd));
        termios line{};

        EXPECT_EQ(Run({"info", "--port", c.port}), c.code) << cli->Err();
        ASSERT_EQ(tcgetattr(fd, &line), 0);
        EXPECT_EQ(cfgetispeed(&line), c.speedAfter);
        EXPECT_EQ((line.c_lflag & ICANON) != 0, c.canonicalAfter);
        close(fd);
    }
    close(bareMaster);
}

// Files given to restore and --like: only a regular file, read with a bound; a device, a FIFO or a
// folder is refused at once, before anything is sent.
TEST_F(CliE2eTest, InputFilesAreRegularFilesReadWithABound)
{
    Serve();
    const fs::path fifo = root.path() / "a-fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path tooLongImage = root.path() / "129.bin";
    std::ofstream(tooLongImage) << std::string(129, '\0');
    const fs::path tooLongJson = root.path() / "big.json";
    std::ofstream(tooLongJson) << "{\"direction\": \"positive\"" << std::string(9000, ' ') << "}";
    struct Case {
        std::vector<std::string> args;
        std::string saying;
    };
    const Case cases[] = {
        {{"restore", "/dev/zero"}, "/dev/zero: not a regular file"},
        {{"restore", fifo.string()}, fifo.string() + ": not a regular file"},
        {{"restore", root.path().string()}, root.path().string() + ": not a regular file"},
        {{"restore", tooLongImage.string()}, tooLongImage.string() + ": too long (more than 128 bytes)"},
        {{"program", "--like", "/dev/zero"}, "--like: /dev/zero: not a regular file"},
        {{"program", "--like", fifo.string()}, "--like: " + fifo.string() + ": not a regular file"},
        {{"program", "--like", tooLongJson.string()}, "--like: " + tooLongJson.string() + ": too long (more than 8192 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--port", port});
        cli = Start(args);
        EXPECT_EQ(cli->Wait(5s), 1);
        EXPECT_EQ(cli->Err(), "tarv-cli: " + c.saying + "\n");
    }
    EXPECT_TRUE(Requests().empty());
}

// backup replaces only a regular file, even with --force, and its temporary file is a new one of
// its own: what another program left beside FILE (a link, a FIFO, a file) is neither followed,
// waited on, nor removed.
TEST_F(CliE2eTest, BackupReplacesOnlyARegularFileAndMakesItsTemporaryAnew)
{
    Serve();
    const fs::path victim = root.path() / "victim";
    std::ofstream(victim) << "untouched";
    const fs::path fifo = root.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path link = root.path() / "link";
    fs::create_symlink(victim, link);
    for (const fs::path& target : {fifo, link, root.path()}) {
        SCOPED_TRACE(target.string());
        EXPECT_EQ(Run({"backup", "--force", "--port", port, target.string()}), 1);
        EXPECT_EQ(cli->Err(), "tarv-cli: " + target.string() + ": it is not a regular file; it is kept\n");
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(Requests().empty());

    const fs::path out = root.path() / "out.bin";
    const std::string leftover = out.string() + ".1.partial";
    fs::create_symlink(victim, out.string() + ".partial");
    fs::create_symlink(victim, leftover);
    ASSERT_EQ(mkfifo((out.string() + ".2.partial").c_str(), 0600), 0);
    std::ofstream(out.string() + ".3.partial") << "another program's";
    cli = Start({"backup", "--port", port, out.string()});
    EXPECT_EQ(cli->Wait(10s), 0) << cli->Err();
    const eeprom::Image device = sim::Format2Image();
    EXPECT_EQ(FileText(out), std::string(device.begin(), device.end()));
    EXPECT_EQ(FileText(victim), "untouched");
    EXPECT_TRUE(fs::is_symlink(leftover));
    EXPECT_TRUE(fs::is_fifo(out.string() + ".2.partial"));
    EXPECT_EQ(FileText(out.string() + ".3.partial"), "another program's");
}

TEST_F(CliE2eTest, EveryResultButOkCarriesItsReason)
{
    const eeprom::Image device = sim::Format2Image();
    char stuck[16];
    std::snprintf(stuck, sizeof stuck, "0x5D=0x%02X", device[0x5D]);  // keeps the old record checksum
    struct Case {
        const char* what;
        std::vector<std::string> sim;
        int code;
        size_t writes;
        std::string reasonStart;
    };
    const Case cases[] = {
        {"unknown product", {"--product", "ZZ99"}, 6, 0, "unknown product"},
        {"not in the encoder's table", {}, 6, 0, "--edge-separation"},
        {"block refused", {"--refuse-block", "0x20"}, 4, 5, "block 0x20 was refused"},
        {"identity reads back different", {"--stuck-cell", stuck}, 5, 16, "address 0x5D reads back "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove(logPath, ignored);
        Serve(c.sim);
        const std::string edge = std::string(c.what) == "not in the encoder's table" ? "0.07" : "1";
        EXPECT_EQ(Run({"program", "-j", "-p", port, "--edge-separation", edge}), c.code) << cli->Err();
        EXPECT_EQ(Count(Requests(), "eeprom-write"), c.writes);
        const ordered_json line = ordered_json::parse(cli->Out());
        EXPECT_EQ(line["tool"], "tarv-cli 2.1.0.0");
        EXPECT_EQ(line["reason"].get<std::string>().rfind(c.reasonStart, 0), 0u) << line.dump();
        EXPECT_NE(cli->Err().find("tarv-cli: " + c.reasonStart), std::string::npos) << cli->Err();
        sims.clear();
    }
}

TEST_F(CliE2eTest, ABlankEncoderHasNoDatesAndABackupGoesToStandardOutput)
{
    Serve({"--format", "blank"});
    ASSERT_EQ(Run({"info", "--json", "--port", port}), 0) << cli->Err();
    const ordered_json info = ordered_json::parse(cli->Out());
    EXPECT_EQ(info["manufactured"], nullptr);
    EXPECT_EQ(info["last_changed"], nullptr);

    const fs::path saved = root.path() / "saved.bin";
    ASSERT_EQ(Run({"backup", saved.string(), "--port", port}), 0) << cli->Err();
    ASSERT_EQ(Run({"backup", "-", "--port", port}), 0) << cli->Err();
    EXPECT_EQ(cli->Out(), FileText(saved));
    EXPECT_EQ(cli->Out().size(), 128u);

    ASSERT_EQ(Run({"-V"}), 0);
    EXPECT_EQ(cli->Out(), "tarv-cli 2.1.0.0\n");
}

TEST_F(CliE2eTest, EachProgramsEncodersSwappedInTurnAndLogsThem)
{
    sim::SimProcess& sim = Serve({"--product", "KV24", "--serial", "AB0001"});
    const fs::path log = root.path() / "line.jsonl";
    cli = Start({"program", "--each", "--count", "3", "--json", "--log", log.string(), "--port", port, "--resolution",
                 "D50", "--direction", "positive"});

    ASSERT_EQ(cli->WaitForLines(1).size(), 1u) << cli->Err();
    ASSERT_TRUE(sim.SendCommand("remove"));
    // Let the loop find the adapter empty a few times before the next encoder comes.
    const auto identityReads = [this] {
        const std::vector<LoggedRequest> requests = Requests();
        return std::count(requests.begin(), requests.end(), LoggedRequest{"eeprom-read", "55 A1 48 0D", "19200 8N2"});
    };
    const auto emptyFrom = identityReads();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (identityReads() < emptyFrom + 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(sim.SendCommand("encoder KV26 AB0002"));
    ASSERT_EQ(cli->WaitForLines(2).size(), 2u) << cli->Err();
    ASSERT_TRUE(sim.SendCommand("encoder KV26 AB0003"));  // swapped without a gap
    EXPECT_EQ(cli->Wait(), 0) << cli->Err();

    const std::vector<std::string> lines = Lines(cli->Out());
    ASSERT_EQ(lines.size(), 3u);
    const char* expected[][2] = {{"KV24", "AB0001"}, {"KV26", "AB0002"}, {"KV26", "AB0003"}};
    for (size_t i = 0; i < lines.size(); ++i) {
        const ordered_json line = ordered_json::parse(lines[i]);
        EXPECT_EQ(line["product"], expected[i][0]);
        EXPECT_EQ(line["serial"], expected[i][1]);
        EXPECT_EQ(line["result"], "ok");
        EXPECT_EQ(line["after"]["direction"], "positive");
    }
    EXPECT_EQ(FileText(log), cli->Out());
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 48u);
    // The empty adapter's failed name reads did not reach standard error.
    EXPECT_EQ(cli->Err().find("EEPROM"), std::string::npos) << cli->Err();
}

TEST_F(CliE2eTest, SignalsDuringAWriteLetItFinishThenEndWith128PlusTheSignal)
{
    struct Case {
        const char* what;
        int signal;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"program, Ctrl+C twice", SIGINT, {"program"}},
        {"program, terminated", SIGTERM, {"program"}},
        {"production line, terminal closed", SIGHUP, {"program", "--each"}},
        {"quiet, terminated", SIGTERM, {"program", "-q"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove(logPath, ignored);
        const fs::path log = root.path() / "line.jsonl";
        fs::remove(log, ignored);
        Serve({"--block-write-ms", "40"});
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--json", "--log", log.string(), "--port", port, "--direction", "negative"});
        cli = Start(args);
        // The first block is on its way: the encoder is half-written from now on.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (Count(Requests(), "eeprom-write") == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        cli->Signal(c.signal);
        std::this_thread::sleep_for(30ms);
        cli->Signal(c.signal);  // a second one does not cut the write short either
        EXPECT_EQ(cli->Wait(5s), 128 + c.signal) << cli->Err();

        EXPECT_EQ(Count(Requests(), "eeprom-write"), 16u);
        // The read written from, and the read-back.
        const std::vector<LoggedRequest> requests = Requests();
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [](const LoggedRequest& r) { return r.kind == "eeprom-read" && r.bytes.ends_with(" 20"); }),
                  8);
        const std::vector<std::string> lines = Lines(FileText(log));
        ASSERT_EQ(lines.size(), 1u) << cli->Err();
        EXPECT_EQ(ordered_json::parse(lines[0])["result"], "ok");
        const bool quiet = c.args.back() == "-q";
        EXPECT_EQ(cli->Out(), quiet ? "" : FileText(log));
        const std::string err = cli->Err();
        EXPECT_EQ(err.find("tarv-cli: stopping after this encoder\n"), err.rfind("tarv-cli: stopping after this encoder\n"));
        EXPECT_EQ(err.find("tarv-cli: stopping after this encoder\n") != std::string::npos, !quiet) << err;
        sims.clear();
    }
}

// Before the first block, nothing needs finishing: a stop ends the command at once, though the
// read it was waiting on would have taken two seconds to give up.
TEST_F(CliE2eTest, AStopBeforeTheFirstBlockEndsTheCommandAtOnce)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string lastLine;  // of standard error
    };
    const fs::path image = root.path() / "image.bin";
    const eeprom::Image bytes = sim::Format2Image();
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const Case cases[] = {
        {"program", {"program", "--direction", "negative"}, ""},
        {"restore", {"restore", image.string()}, ""},
        {"production line", {"program", "--each", "--direction", "negative"}, "tarv-cli: 0 ok, 0 failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove(logPath, ignored);
        Serve({"--no-encoder"});
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--port", port});
        cli = Start(args);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (Count(Requests(), "eeprom-read") == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        const auto signalled = std::chrono::steady_clock::now();
        cli->Signal(SIGTERM);
        EXPECT_EQ(cli->Wait(5s), 143) << cli->Err();
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1200ms);
        EXPECT_EQ(Count(Requests(), "eeprom-write"), 0u);
        EXPECT_EQ(cli->Out(), "");
        const std::vector<std::string> told = Lines(cli->Err());
        EXPECT_EQ(told.empty() ? "" : told.back(), c.lastLine) << cli->Err();
        EXPECT_EQ(cli->Err().find("stopping after this encoder"), std::string::npos) << cli->Err();
        sims.clear();
    }
}

TEST_F(CliE2eTest, TheProductionLineStoppedWhileWaitingSummarizesAndClosesThePort)
{
    Serve({"--refuse-block", "0x40"});
    cli = Start({"program", "--each", "--port", port, "--direction", "negative"});
    ASSERT_EQ(cli->WaitForLines(1).size(), 1u) << cli->Err();
    std::this_thread::sleep_for(600ms);  // into the next polls
    cli->Signal(SIGTERM);
    EXPECT_EQ(cli->Wait(2s), 143) << cli->Err();
    EXPECT_EQ(Lines(cli->Err()).back(), "tarv-cli: 0 ok, 1 failed (1 write-failed)");
    // The port was closed and unlocked: it opens again at once.
    EXPECT_EQ(Run({"info", "--port", port}), 0) << cli->Err();
}

TEST_F(CliE2eTest, ALogThatCannotBeWrittenIsAFailure)
{
    Serve();
    EXPECT_EQ(Run({"program", "--port", port, "--log", "/dev/full", "--direction", "negative"}), 8);
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 16u);
    EXPECT_NE(cli->Err().find("tarv-cli: the record of this encoder could not be written: /dev/full: No space left on device"),
              std::string::npos)
        << cli->Err();
}

// `tarv-cli ... 2>&1 | head -n1`, and a production line's `2>&1 | tee` whose tee dies first on
// Ctrl+C: the encoder in hand gets all sixteen blocks, its read-back and its journal line; the
// output that went nowhere is a record failure, and a stop signal's code wins over it.
TEST_F(CliE2eTest, AReaderThatGoesAwayDoesNotCutTheWriteShort)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int signal;  // sent once the reader has gone; 0 for none
        int code;
    };
    const Case cases[] = {
        {"program -v | head -n1", {"program", "-v"}, 0, 8},
        {"program --each -v | tee, and Ctrl+C", {"program", "--each", "-v"}, SIGINT, 130},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove_all(dataFolder, ignored);
        fs::remove(logPath, ignored);
        Serve({"--block-write-ms", "20"});
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--port", port, "--direction", "negative"});
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        const pid_t pid = sim::SpawnProcess(TARV_CLI, args, sim::kNullStream, pipeEnds[1], pipeEnds[1]);
        close(pipeEnds[1]);
        ASSERT_GT(pid, 0);
        // The reader goes once the first block is written.
        std::string line;
        do line = sim::ReadLine(pipeEnds[0], 10s);
        while (!line.empty() && line.find("block 0x00 written") == std::string::npos);
        close(pipeEnds[0]);
        ASSERT_FALSE(line.empty());
        if (c.signal != 0) kill(pid, c.signal);
        EXPECT_EQ(sim::Reap(pid, 20s), c.code);

        const std::vector<LoggedRequest> requests = Requests(1 + 4 + 16 + 4);
        EXPECT_EQ(Count(requests, "eeprom-write"), 16u);
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [](const LoggedRequest& r) { return r.kind == "eeprom-read" && r.bytes.ends_with(" 20"); }),
                  8);
        const std::vector<std::string> journal = Lines(FileText(fs::path(dataFolder) / "journal.jsonl"));
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(ordered_json::parse(journal[0])["result"], "ok");
        sims.clear();
    }

    // The other subcommands: output that reaches nobody is exit 8, except `backup -`, whose bytes
    // not written keep their own 1.
    Serve();
    for (const auto& [args, code] : {std::pair<std::vector<std::string>, int>{{"info"}, 8}, {{"backup", "-"}, 1}}) {
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        close(pipeEnds[0]);
        std::vector<std::string> withPort = args;
        withPort.insert(withPort.end(), {"--port", port});
        const pid_t pid = sim::SpawnProcess(TARV_CLI, withPort, sim::kNullStream, pipeEnds[1], sim::kNullStream);
        close(pipeEnds[1]);
        EXPECT_EQ(sim::Reap(pid, 20s), code) << args[0];
    }
}

TEST_F(CliE2eTest, ATraceThatCannotBeWrittenIsToldOnceAndTheResultStands)
{
    Serve();
    EXPECT_EQ(Run({"info", "--port", port, "--trace", "/dev/full"}), 0) << cli->Err();
    EXPECT_EQ(cli->Err(), "tarv-cli: --trace: /dev/full: No space left on device; the trace has a gap from here\n");
    EXPECT_NE(cli->Out().find("KV24"), std::string::npos);
}

// The whole round trip through the real serial code: program keeps the image, restore puts every
// byte back, verify finds the encoder as it was; and the trace shows what the emulator received.
TEST_F(CliE2eTest, ProgramThenRestoreOfTheKeptImageGivesBackTheEncoderAndTheTraceShowsTheWire)
{
    Serve({"--product", "KV24", "--serial", "AB1234"});
    const fs::path original = root.path() / "original.bin";
    ASSERT_EQ(Run({"backup", "--port", port, original.string()}), 0) << cli->Err();
    const fs::path trace = root.path() / "wire.trace";
    ASSERT_EQ(Run({"program", "--port", port, "--resolution", "D50", "--trace", trace.string()}), 0) << cli->Err();

    // Every request that the emulator logged was sent, in order, as the trace has it.
    std::vector<std::string> sent;
    const std::vector<std::string> traceLines = Lines(FileText(trace));
    ASSERT_FALSE(traceLines.empty());
    EXPECT_EQ(traceLines[0].rfind("# tarv-cli 2.1.0.0, trace started ", 0), 0u);
    for (const std::string& line : traceLines) {
        const size_t arrow = line.find(" > ");
        if (arrow != std::string::npos) sent.push_back(line.substr(arrow + 3));
    }
    std::vector<std::string> logged;
    for (const LoggedRequest& request : Requests()) logged.push_back(request.bytes);
    ASSERT_GE(logged.size(), sent.size());
    EXPECT_EQ(std::vector<std::string>(logged.end() - static_cast<long>(sent.size()), logged.end()), sent);
    EXPECT_EQ(sent.size(), 1u + 4 + 16 + 4);  // presence, read, sixteen blocks, read-back

    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(fs::path(dataFolder) / "images")) images.push_back(entry.path());
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(FileText(images[0]), FileText(original));
    ASSERT_EQ(Run({"restore", "--port", port, images[0].string()}), 0) << cli->Err();
    const fs::path after = root.path() / "after.bin";
    ASSERT_EQ(Run({"backup", "--port", port, after.string()}), 0) << cli->Err();
    EXPECT_EQ(FileText(after), FileText(original));
    EXPECT_EQ(Run({"verify", "--port", port, "--resolution", "12B"}), 0) << cli->Out();
}

// Journal lines of earlier writes, each 160 bytes, as many as fill `size` bytes or fewer.
std::string EarlierLines(size_t size)
{
    constexpr size_t kLineSize = 160;
    std::string lines;
    for (int i = 0; lines.size() + kLineSize <= size; ++i) {
        std::string line = R"({"time":"2024-05-01T12:00:00Z","program":"cli","command":"program","serial":"OLD)" +
                           std::to_string(i) + R"(","result":"ok","pad":")";
        line.append(kLineSize - line.size() - 3, 'x').append("\"}\n");
        lines += line;
    }
    return lines;
}

// A full disk, played by a file-size limit (EFBIG instead of ENOSPC, and no root needed): the line
// that does not fit leaves journal and log as they were, and the next run's line is whole.
TEST_F(CliE2eTest, ALineThatDoesNotFitLeavesJournalAndLogAsTheyWereAndTheNextLineIsWhole)
{
    constexpr size_t kLimitBlocks = 16;  // ulimit -f counts 512-byte blocks
    constexpr size_t kLimit = kLimitBlocks * 512;
    Serve();
    const fs::path journal = fs::path(dataFolder) / "journal.jsonl";
    const fs::path log = root.path() / "line.jsonl";
    fs::create_directories(dataFolder);
    const std::string earlier = EarlierLines(kLimit - 100);  // the kept image's 128 bytes are a file of their own
    std::ofstream(journal, std::ios::binary) << earlier;
    std::ofstream(log, std::ios::binary) << earlier;
    // What a file holds after the earlier lines (compared so, a failure does not print them all).
    const auto added = [&earlier](const fs::path& file) {
        const std::string text = FileText(file);
        return text.starts_with(earlier) ? text.substr(earlier.size()) : "(the earlier lines changed) " + text;
    };
    const std::vector<std::string> program = {"program", "--json", "--log",       log.string(),
                                              "--port",  port,     "--direction", "negative"};

    std::vector<std::string> limited = {
        "-c", "trap '' XFSZ; ulimit -f " + std::to_string(kLimitBlocks) + "; exec \"$0\" \"$@\"", TARV_CLI};
    limited.insert(limited.end(), program.begin(), program.end());
    cli = std::make_unique<CliProcess>("/bin/sh", limited, root.path());
    EXPECT_EQ(cli->Wait(), 8) << cli->Err();
    EXPECT_NE(cli->Err().find("could not be written: " + log.string() + ": File too large"), std::string::npos)
        << cli->Err();
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 16u);
    EXPECT_EQ(added(journal), "");
    EXPECT_EQ(added(log), "");

    ASSERT_EQ(Run(program), 0) << cli->Err();
    const std::string line = cli->Out();
    ASSERT_GT(line.size(), kLimit - earlier.size());  // it would not have fitted
    EXPECT_EQ(added(log), line);
    ASSERT_EQ(Run({"history", "--json"}), 0) << cli->Err();
    const std::vector<std::string> history = Lines(cli->Out());
    ASSERT_EQ(history.size(), Lines(earlier).size() + 1);
    EXPECT_EQ(added(journal), history.back() + "\n");
    EXPECT_EQ(ordered_json::parse(history.back())["serial"], "AB1234");
    EXPECT_EQ(ordered_json::parse(history.back())["result"], "ok");
}

// The journal is checked before the port is opened: a journal that cannot take the line ends the
// command before its first block, not after all sixteen. --no-backup keeps nothing and goes on.
TEST_F(CliE2eTest, AJournalThatCannotTakeTheLineStopsEveryWriteBeforeItsFirstBlock)
{
    const fs::path image = root.path() / "encoder.bin";
    Serve();
    ASSERT_EQ(Run({"backup", image.string(), "--port", port}), 0) << cli->Err();
    const fs::path journal = fs::path(dataFolder) / "journal.jsonl";
    fs::create_directories(journal);  // a folder where the journal should be
    struct Case {
        const char* what;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"program", {"program", "--direction", "negative"}},
        {"the production line", {"program", "--each", "--count", "1", "--direction", "positive"}},
        {"restore", {"restore", image.string()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        fs::remove(logPath, ignored);
        Serve();
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--port", port});
        EXPECT_EQ(Run(args), 8);
        EXPECT_EQ(cli->Err(), "tarv-cli: cannot append to the journal: " + journal.string() +
                                  ": not a regular file; --no-backup goes on without it\n");
        EXPECT_EQ(Count(Requests(), "eeprom-write"), 0u);

        args.push_back("--no-backup");
        EXPECT_EQ(Run(args), 0) << cli->Err();
        EXPECT_EQ(Count(Requests(16), "eeprom-write"), 16u);
        sims.clear();
    }
    EXPECT_TRUE(fs::is_empty(fs::path(dataFolder) / "images"));  // no image kept either
}

// Kept means on disk: the image file before it is named, its folder once it is, the --log and
// the journal after their lines, all synced by tarv-cli itself (seen through a preloaded recorder
// of fsync and fdatasync).
TEST_F(CliE2eTest, TheImageItsFolderTheLogAndTheJournalAreSyncedToDisk)
{
    Serve();
    const fs::path record = root.path() / "synced.txt";
    const fs::path log = root.path() / "line.jsonl";
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::optional<std::string> asanOptions = asan ? std::optional<std::string>(asan) : std::nullopt;
    setenv("LD_PRELOAD", TARV_SYNC_RECORDER, 1);
    setenv("TARV_SYNC_RECORD", record.c_str(), 1);
    // An instrumented tarv-cli wants its sanitizer's runtime first; the recorder comes before it.
    setenv("ASAN_OPTIONS", (asanOptions.value_or("") + ":verify_asan_link_order=0").c_str(), 1);
    const int code = Run({"program", "--port", port, "--log", log.string(), "--direction", "negative"});
    unsetenv("LD_PRELOAD");
    unsetenv("TARV_SYNC_RECORD");
    if (asanOptions)
        setenv("ASAN_OPTIONS", asanOptions->c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
    ASSERT_EQ(code, 0) << cli->Err();

    const fs::path images = fs::canonical(fs::path(dataFolder) / "images");
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(images)) kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    const std::vector<std::string> expected = {
        kept[0].string() + ".1.partial",  // named so when it was synced
        images.string(),
        fs::canonical(fs::path(dataFolder) / "journal.jsonl").string(),  // as the write ends
        fs::canonical(log).string(),
    };
    // In this order, with other syncs (of new folders' parents) between them.
    const std::vector<std::string> synced = Lines(FileText(record));
    auto next = synced.begin();
    for (const std::string& path : expected) {
        next = std::find(next, synced.end(), path);
        EXPECT_TRUE(next != synced.end()) << path << " was not synced in its turn; synced:\n" << FileText(record);
    }
}

// Waits up to `limit` for standard error to hold `text`; whether it does.
bool ErrGets(const CliProcess& cli, const std::string& text, std::chrono::milliseconds limit = 15s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (cli.Err().find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    return cli.Err().find(text) != std::string::npos;
}

// Another program (flock(1)) holds the journal's lock before tarv-cli has sent a byte: it says what
// it waits for, and a stop ends it at once, nothing sent.
TEST_F(CliE2eTest, AJournalLockedByAnotherProgramIsToldAndAStopEndsTheWaitAtOnce)
{
    if (!fs::exists("/usr/bin/flock")) GTEST_SKIP() << "no /usr/bin/flock";
    Serve();
    const fs::path journal = fs::path(dataFolder) / "journal.jsonl";
    fs::create_directories(dataFolder);
    std::ofstream(journal) << "";
    fs::create_directories(root.path() / "holder");
    CliProcess holder("/usr/bin/flock", {"-x", journal.string(), "sleep", "60"}, root.path() / "holder");
    // Held once a try of our own finds it taken.
    const int probe = open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (flock(probe, LOCK_EX | LOCK_NB) == 0 && std::chrono::steady_clock::now() < deadline) {
        flock(probe, LOCK_UN);
        std::this_thread::sleep_for(10ms);
    }
    close(probe);

    cli = Start({"program", "--port", port, "--direction", "negative"});
    const std::string waiting =
        "tarv-cli: waiting for " + journal.string() + ": another program holds its lock (up to 10 s)\n";
    ASSERT_TRUE(ErrGets(*cli, waiting)) << cli->Err();
    const auto signalled = std::chrono::steady_clock::now();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(5s), 130) << cli->Err();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);
    EXPECT_EQ(cli->Err(), waiting);
    EXPECT_EQ(cli->Out(), "");
    EXPECT_TRUE(Requests().empty());  // the port was not even opened
    EXPECT_EQ(FileText(journal), "");
}

// The journal's lock taken by another program while the encoder is written: after the last block
// tarv-cli waits for it, says so, and a stop does not cut the wait short: the line is written once
// the lock is let go, and the command ends as stopped.
TEST_F(CliE2eTest, AJournalLockedDuringTheWriteIsWaitedForAndItsLineWritten)
{
    Serve({"--block-write-ms", "150"});  // sixteen blocks take 2.4 s: time to take the lock
    const fs::path journal = fs::path(dataFolder) / "journal.jsonl";
    const fs::path log = root.path() / "line.jsonl";
    cli = Start({"program", "--json", "--log", log.string(), "--port", port, "--direction", "negative"});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Count(Requests(), "eeprom-write") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    const int held = open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

    ASSERT_TRUE(ErrGets(*cli, "tarv-cli: waiting for " + journal.string() +
                                  ": another program holds its lock (up to 10 s)\n"))
        << cli->Err();
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 16u);  // the encoder is written: only its line waits
    cli->Signal(SIGTERM);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(cli->Running());
    close(held);
    EXPECT_EQ(cli->Wait(10s), 143) << cli->Err();
    const std::vector<std::string> lines = Lines(FileText(journal));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ordered_json::parse(lines[0])["result"], "ok");
    EXPECT_EQ(FileText(log), cli->Out());
    EXPECT_EQ(Lines(cli->Out()).size(), 1u);
}

// Reads a FIFO on a thread of its own from before a writer opens it until the writer closes it.
class FifoReader {
public:
    explicit FifoReader(const fs::path& fifo)
        : fd_(open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), thread_([this] { Read(); })
    {
    }
    ~FifoReader()
    {
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    std::string Text()
    {
        if (thread_.joinable()) thread_.join();
        return text_;
    }

private:
    void Read()
    {
        // Readable once data came or the writer, once there, went.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (fd_ >= 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{fd_, POLLIN, 0};
            if (poll(&ready, 1, 100) != 1) continue;
            char buffer[4096];
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got == 0) return;
            if (got > 0) text_.append(buffer, static_cast<size_t>(got));
        }
    }

    int fd_;
    std::string text_;
    std::thread thread_;
};

// --log and --trace never wait for a reader: a FIFO that no program reads is exit 1 at once, naming
// it; one with a reader gets every line in one stream; a device and a folder are as before.
TEST_F(CliE2eTest, ALogOrTraceThatIsAFifoIsNeverWaitedOn)
{
    const fs::path fifo = root.path() / "a-fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = root.path().string();
    struct Case {
        const char* option;
        std::string target;
        bool reader;
        int code;
        std::string told;
    };
    const Case cases[] = {
        {"--log", fifo.string(), false, 1, "tarv-cli: --log: " + fifo.string() + ": a FIFO that no program reads\n"},
        {"--trace", fifo.string(), false, 1,
         "tarv-cli: --trace: " + fifo.string() + ": a FIFO that no program reads\n"},
        {"--log", fifo.string(), true, 0, ""},
        {"--trace", fifo.string(), true, 0, ""},
        {"--log", "/dev/null", false, 0, ""},
        {"--trace", "/dev/null", false, 0, ""},
        {"--log", folder, false, 1, "tarv-cli: --log: " + folder + ": Is a directory\n"},
        {"--trace", folder, false, 1, "tarv-cli: --trace: " + folder + ": Is a directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.target + (c.reader ? ", read" : ""));
        std::error_code ignored;
        fs::remove(logPath, ignored);
        Serve();
        std::optional<FifoReader> reader;
        if (c.reader) reader.emplace(fifo);
        cli = Start({"program", "--json", c.option, c.target, "--port", port, "--direction", "negative"});
        EXPECT_EQ(cli->Wait(10s), c.code) << cli->Err();
        EXPECT_EQ(cli->Err(), c.told);
        EXPECT_EQ(Count(Requests(), "eeprom-write"), c.code == 0 ? 16u : 0u);
        if (reader && std::string(c.option) == "--log") {
            EXPECT_EQ(reader->Text(), cli->Out());
        } else if (reader) {
            const std::vector<std::string> trace = Lines(reader->Text());
            ASSERT_FALSE(trace.empty());
            EXPECT_EQ(trace[0].rfind("# tarv-cli 2.1.0.0, trace started ", 0), 0u);
            EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                                    [](const std::string& line) { return line.find(" > ") != std::string::npos; }),
                      1 + 4 + 16 + 4);
        }
        reader.reset();
        sims.clear();
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// A port that another program holds in exclusive mode (TIOCEXCL, no lock) is refused, also to root,
// and left exactly as it was: its exclusive mode and its line settings; nothing is sent.
TEST_F(CliE2eTest, APortThatAnotherProgramHoldsExclusivelyIsLeftAsItIs)
{
    Serve();
    const int holder = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(SetAnotherProgramsLine(holder));
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    termios held{};
    ASSERT_EQ(tcgetattr(holder, &held), 0);

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"info"}, std::vector<std::string>{"program", "--direction", "negative"}}) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--port", port});
        EXPECT_EQ(Run(args), 2);
        EXPECT_EQ(cli->Err(), "tarv-cli: " + port + ": in use by another program\n");
        int exclusive = 0;
        ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        termios after{};
        ASSERT_EQ(tcgetattr(holder, &after), 0);
        EXPECT_EQ(after.c_iflag, held.c_iflag);
        EXPECT_EQ(after.c_oflag, held.c_oflag);
        EXPECT_EQ(after.c_cflag, held.c_cflag);
        EXPECT_EQ(after.c_lflag, held.c_lflag);
        EXPECT_EQ(cfgetispeed(&after), B9600);
        EXPECT_TRUE(std::equal(std::begin(after.c_cc), std::end(after.c_cc), std::begin(held.c_cc)));
    }
    EXPECT_TRUE(Requests().empty());

    ioctl(holder, TIOCNXCL);
    close(holder);
    EXPECT_EQ(Run({"info", "--port", port}), 0) << cli->Err();  // let go, it is the adapter's port again
}

// A terminal that the user may not open: the message names its own group and mode. Run as nobody,
// which needs root to start and setpriv(1).
TEST_F(CliE2eTest, APermissionRefusedNamesTheDevicesGroupAndMode)
{
    if (geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running tarv-cli as another user needs root and setpriv";
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no dialout group";
    const auto asNobody = [this](std::vector<std::string> args) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
        cli = std::make_unique<CliProcess>("/usr/bin/setpriv", args, root.path());
        return cli->Wait();
    };
    if (asNobody({"/usr/bin/test", "-x", TARV_CLI}) != 0) GTEST_SKIP() << "nobody may not run " << TARV_CLI;

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string terminal = ptsname(master);
    struct Case {
        gid_t group;
        mode_t mode;
        std::string saying;
    };
    const Case cases[] = {
        {dialout->gr_gid, 0660,
         "the device's group is dialout, mode 0660: add yourself to dialout; a new group takes effect at the next "
         "login"},
        {0, 0600, "the device's group is root, mode 0600: its group may not read and write it either"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saying);
        ASSERT_EQ(chown(terminal.c_str(), 0, c.group), 0);
        ASSERT_EQ(chmod(terminal.c_str(), c.mode), 0);
        EXPECT_EQ(asNobody({TARV_CLI, "info", "--port", terminal}), 2);
        EXPECT_EQ(cli->Err(), "tarv-cli: " + terminal + ": permission denied (" + c.saying + ")\n");
    }
    close(master);
}

// A full disk: every record of the encoder that could not be written is named, the --log's and the
// journal's (a file-size limit plays the disk for the journal, /dev/full for the log).
TEST_F(CliE2eTest, AFullDiskNamesEveryRecordThatCouldNotBeWritten)
{
    constexpr size_t kLimitBlocks = 16;  // ulimit -f counts 512-byte blocks
    Serve();
    const fs::path journal = fs::path(dataFolder) / "journal.jsonl";
    fs::create_directories(dataFolder);
    std::ofstream(journal, std::ios::binary) << EarlierLines(kLimitBlocks * 512 - 100);
    cli = std::make_unique<CliProcess>(
        "/bin/sh",
        std::vector<std::string>{"-c", "trap '' XFSZ; ulimit -f " + std::to_string(kLimitBlocks) + "; exec \"$0\" \"$@\"",
                                 TARV_CLI, "program", "--log", "/dev/full", "--port", port, "--direction", "negative"},
        root.path());
    EXPECT_EQ(cli->Wait(), 8) << cli->Err();
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 16u);
    EXPECT_NE(cli->Err().find("tarv-cli: the record of this encoder could not be written: /dev/full: No space left on "
                              "device; " + journal.string() + ": File too large\n"),
              std::string::npos)
        << cli->Err();
}

}  // namespace

namespace {

// A stop during program's first read: the request already sent is the last one, its answer is
// awaited, and a command started at once afterwards meets a quiet line. The encoder's reads are
// slow here, so that the stop falls into the first one.
TEST_F(CliE2eTest, AStopDuringAReadSendsNothingMoreAndLeavesAQuietLine)
{
    Serve({"--pace", "--read-latency", "250"});
    cli = Start({"program", "--port", port, "--direction", "negative"});
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (Count(Requests(), "eeprom-read") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    const std::vector<LoggedRequest> beforeStop = Requests();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(5s), 130) << cli->Err();
    ASSERT_GE(Count(beforeStop, "eeprom-read"), 1u);
    ASSERT_LT(Count(beforeStop, "eeprom-read"), 4u) << "the stop came after the read";

    ASSERT_EQ(Run({"info", "--json", "--port", port}), 0) << cli->Err();
    EXPECT_EQ(ordered_json::parse(cli->Out())["serial"], "AB1234");
    // What the wire saw: program's requests up to the stop, then info's, and nothing between.
    EXPECT_EQ(Requests(beforeStop.size() + 5), Concat({beforeStop, {kPresence}, WholeRead()}));
}

}  // namespace

namespace {

// An encoder whose reads come back a byte short, through the real serial code: a fault of the
// encoder or its cable, said once by the production line, not an empty fixture.
TEST_F(CliE2eTest, ReadsThatComeShortAreToldAsAFaultOfTheEncoderOrItsCable)
{
    Serve({"--pace", "--short-read", "1"});
    const std::string fault =
        "tarv-cli: the encoder on " + port + " answers with the wrong length: a fault of the encoder or its cable\n";
    cli = Start({"program", "--each", "--port", port, "--direction", "negative"});
    // Several of the line's tries of the encoder.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Count(Requests(), "eeprom-read") < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(), 130);
    const std::string told = cli->Err();
    const size_t at = told.find(fault);
    ASSERT_NE(at, std::string::npos) << told;
    EXPECT_EQ(told.find(fault, at + 1), std::string::npos) << told;
    EXPECT_EQ(told.find("waiting for an encoder", at), std::string::npos) << told;
    EXPECT_EQ(Count(Requests(), "eeprom-write"), 0u);

    // The line's stop left a quiet line: the next command's answers are its own.
    EXPECT_EQ(Run({"info", "--port", port}), 3);
    EXPECT_EQ(cli->Err(), fault);
}

}  // namespace
