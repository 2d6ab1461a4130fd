// A production line on several ports at once: tarv-cli against one tarv-adapter-sim per
// pseudo-terminal, each adapter given a new encoder as soon as the line of its last one is out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "e2e/cli_process.h"
#include "e2e/system_host_support.h"
#include "sim/sim_process.h"
#include "support/sim_log.h"
#include "support/text_files.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::ordered_json;

class GangE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.path().empty());
        setenv("TARV_DATA_DIR", dataFolder.c_str(), 1);
    }

    // Adapter `i` on the link root/ttyGANGi, with the encoder serial "Gi0000" on it.
    void Serve(size_t count, const std::map<size_t, std::vector<std::string>>& extra = {})
    {
        for (size_t i = 0; i < count; ++i) {
            std::vector<std::string> args = {"--pace", "--block-write-ms", "5",      "--serial", SerialOf(i, 0),
                                             "--log",  LogOf(i).string(),  "--link", PortOf(i)};
            if (const auto more = extra.find(i); more != extra.end())
                args.insert(args.end(), more->second.begin(), more->second.end());
            sims.push_back(std::make_unique<sim::SimProcess>(TARV_ADAPTER_SIM, std::move(args)));
            ASSERT_FALSE(sims.back()->slavePath().empty()) << "tarv-adapter-sim did not start";
            fed.push_back(0);
        }
    }

    std::string PortOf(size_t i) const { return (root.path() / ("ttyGANG" + std::to_string(i))).string(); }
    fs::path LogOf(size_t i) const { return root.path() / ("sim" + std::to_string(i) + ".log"); }
    static std::string SerialOf(size_t port, int n)
    {
        // Six characters: G, the port, four digits of the count.
        const std::string digits = std::to_string(10000 + n % 10000).substr(1);
        return "G" + std::to_string(port % 10) + digits;
    }

    std::vector<std::string> PortArguments(size_t count) const
    {
        std::vector<std::string> args;
        for (size_t i = 0; i < count; ++i) args.insert(args.end(), {"-p", PortOf(i)});
        return args;
    }

    // Each JSON line not seen yet that names a port puts a new encoder on that port's adapter.
    void FeedNewLines()
    {
        const std::vector<std::string> lines = Lines(cli->Out());
        for (; seen < lines.size(); ++seen) {
            const ordered_json line = ordered_json::parse(lines[seen], nullptr, false);
            for (size_t i = 0; i < sims.size(); ++i)
                if (sims[i] && line.is_object() && line["port"] == PortOf(i))
                    sims[i]->SendCommand("encoder KV24 " + SerialOf(i, ++fed[i]));
        }
    }

    void FeedUntilTheEnd()
    {
        while (cli->Running()) {
            FeedNewLines();
            std::this_thread::sleep_for(10ms);
        }
    }

    // Feeds the line until `port` has printed `lines` lines in all, or 15 s have passed.
    bool FeedUntil(size_t port, size_t lines)
    {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < deadline) {
            FeedNewLines();
            const std::vector<ordered_json> output = OutputLines();
            if (static_cast<size_t>(std::count_if(output.begin(), output.end(), [&](const ordered_json& line) {
                    return line["port"] == PortOf(port);
                })) >= lines)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    std::vector<ordered_json> OutputLines() const
    {
        std::vector<ordered_json> lines;
        for (const std::string& line : Lines(cli->Out())) lines.push_back(ordered_json::parse(line));
        return lines;
    }

    size_t Writes(size_t i) const
    {
        const std::vector<LoggedRequest> requests = ParseLog(LogOf(i));
        return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                                 [](const LoggedRequest& r) { return r.kind == "eeprom-write"; }));
    }

    // Every journal line is whole, names an image of its own that holds 128 bytes, and there is
    // one line per encoder written.
    void ExpectOneJournalLineAndImagePerWrite(const std::vector<ordered_json>& output) const
    {
        const std::vector<std::string> journal = Lines(FileText(fs::path(dataFolder) / "journal.jsonl"));
        std::set<std::string> images;
        for (const std::string& text : journal) {
            const ordered_json entry = ordered_json::parse(text, nullptr, false);
            ASSERT_TRUE(entry.is_object()) << "a torn journal line: " << text;
            const std::string image = entry["image"];
            EXPECT_TRUE(images.insert(image).second) << image << " is named twice";
            EXPECT_EQ(fs::file_size(fs::path(dataFolder) / "images" / image), 128u) << image;
        }
        // Every encoder that was written had its image kept first.
        const auto kept = std::count_if(output.begin(), output.end(), [](const ordered_json& line) {
            return line["result"] != "read-failed" && line["result"] != "not-applicable";
        });
        EXPECT_EQ(journal.size(), static_cast<size_t>(kept));
    }

    TempDir root;
    const std::string dataFolder = (root.path() / "data").string();
    std::unique_ptr<CliProcess> cli;
    std::vector<int> fed;
    size_t seen = 0;                                     // output lines fed for
    std::vector<std::unique_ptr<sim::SimProcess>> sims;  // declared last: the servers end first
};

// How many times `part` occurs in `text`.
size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST_F(GangE2eTest, TwoAndFourPortsEachProgramAStreamOfEncodersCountedOverAllPorts)
{
    for (const size_t ports : {size_t{2}, size_t{4}}) {
        SCOPED_TRACE(std::to_string(ports) + " ports");
        Serve(ports);
        const int count = static_cast<int>(3 * ports);
        std::vector<std::string> args = {"program",      "--each", "--json",      "--count", std::to_string(count),
                                         "--resolution", "D50",    "--direction", "negative"};
        const std::vector<std::string> portArgs = PortArguments(ports);
        args.insert(args.end(), portArgs.begin(), portArgs.end());
        cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
        FeedUntilTheEnd();
        ASSERT_EQ(cli->Wait(), 0) << cli->Err();

        const std::vector<ordered_json> output = OutputLines();
        // Encoders in hand when the count was reached are finished: at least the count, at most
        // one more on each other port.
        EXPECT_GE(output.size(), static_cast<size_t>(count));
        EXPECT_LE(output.size(), static_cast<size_t>(count) + ports - 1);
        std::map<std::string, std::set<std::string>> serials;
        for (const ordered_json& line : output) {
            EXPECT_EQ(line["result"], "ok") << line.dump();
            EXPECT_TRUE(serials[line["port"]].insert(line["serial"]).second) << "programmed twice: " << line.dump();
        }
        for (size_t i = 0; i < ports; ++i) {
            EXPECT_FALSE(serials[PortOf(i)].empty()) << PortOf(i) << " did nothing";
            EXPECT_EQ(Writes(i), 16 * serials[PortOf(i)].size()) << PortOf(i);
        }
        ExpectOneJournalLineAndImagePerWrite(output);
        // The summary: each port, then all of them.
        EXPECT_NE(cli->Err().find("tarv-cli: all ports: " + std::to_string(output.size()) + " ok, 0 failed"),
                  std::string::npos)
            << cli->Err();

        cli.reset();
        sims.clear();
        fed.clear();
        seen = 0;
        fs::remove_all(dataFolder);
        for (size_t i = 0; i < ports; ++i) fs::remove(LogOf(i));
    }
}

TEST_F(GangE2eTest, APortThatRefusesABlockOfEveryEncoderLeavesTheOthersAtWork)
{
    Serve(3, {{1, {"--refuse-block", "0x40"}}});
    std::vector<std::string> args = {"program", "--each", "--json", "--count", "6", "--resolution", "D50"};
    const std::vector<std::string> portArgs = PortArguments(3);
    args.insert(args.end(), portArgs.begin(), portArgs.end());
    cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
    FeedUntilTheEnd();
    EXPECT_EQ(cli->Wait(), 4) << cli->Err();  // the failing port's write-failed

    std::map<std::string, std::map<std::string, int>> results;
    for (const ordered_json& line : OutputLines()) ++results[line["port"]][line["result"]];
    EXPECT_EQ(results[PortOf(1)]["ok"], 0);
    EXPECT_GE(results[PortOf(1)]["write-failed"], 1);
    EXPECT_GE(results[PortOf(0)]["ok"] + results[PortOf(2)]["ok"], 6);
    // Its trouble is told as that port's.
    EXPECT_NE(cli->Err().find("tarv-cli: " + PortOf(1) + ": block 0x40 was refused"), std::string::npos) << cli->Err();
    ExpectOneJournalLineAndImagePerWrite(OutputLines());
}

TEST_F(GangE2eTest, ASignalLetsTheEncoderInHandOnEveryPortFinish)
{
    // Slow blocks: the signal comes while both ports are writing.
    Serve(2, {{0, {"--block-write-ms", "60"}}, {1, {"--block-write-ms", "60"}}});
    std::vector<std::string> args = {"program", "--each", "--json", "--direction", "positive"};
    const std::vector<std::string> portArgs = PortArguments(2);
    args.insert(args.end(), portArgs.begin(), portArgs.end());
    cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while ((Writes(0) < 2 || Writes(1) < 2) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(Writes(0) >= 2 && Writes(1) >= 2) << cli->Err();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(), 130) << cli->Err();

    // "stopping after this encoder" is told on the line of each port whose encoder is in hand,
    // never as a line that names no port.
    const std::string told = cli->Err();
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Occurrences(told, "tarv-cli: " + PortOf(i) + ": stopping after this encoder\n"), 1u) << told;
    EXPECT_EQ(told.find("tarv-cli: stopping after this encoder"), std::string::npos) << told;

    const std::vector<ordered_json> output = OutputLines();
    ASSERT_EQ(output.size(), 2u) << cli->Out();
    for (const ordered_json& line : output) EXPECT_EQ(line["result"], "ok") << line.dump();
    EXPECT_EQ(Writes(0), 16u);
    EXPECT_EQ(Writes(1), 16u);
    ExpectOneJournalLineAndImagePerWrite(output);
}

TEST_F(GangE2eTest, AnAdapterUnpluggedAndBackIsTakenUpAgainWhileTheOtherPortGoesOn)
{
    Serve(2);
    std::vector<std::string> args = {"program", "--each", "--json", "--direction", "positive"};
    const std::vector<std::string> portArgs = PortArguments(2);
    args.insert(args.end(), portArgs.begin(), portArgs.end());
    cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
    ASSERT_TRUE(FeedUntil(0, 1)) << cli->Err();

    // Unplugged: its emulator and its port go.
    sims[0].reset();
    ASSERT_TRUE(FeedUntil(1, 3)) << cli->Err();
    // Plugged in again with a new encoder behind the same name.
    sims[0] = std::make_unique<sim::SimProcess>(
        TARV_ADAPTER_SIM, std::vector<std::string>{"--pace", "--block-write-ms", "5", "--serial", SerialOf(0, 50),
                                                   "--log", LogOf(0).string(), "--link", PortOf(0)});
    ASSERT_FALSE(sims[0]->slavePath().empty());
    ASSERT_TRUE(FeedUntil(0, 2)) << cli->Err();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(), 130) << cli->Err();

    std::vector<std::string> onPort0;
    for (const ordered_json& line : OutputLines()) {
        EXPECT_EQ(line["result"], "ok") << line.dump();
        if (line["port"] == PortOf(0)) onPort0.push_back(line["serial"]);
    }
    EXPECT_EQ(onPort0, (std::vector<std::string>{SerialOf(0, 0), SerialOf(0, 50)}));
    EXPECT_NE(cli->Err().find("tarv-cli: " + PortOf(0) + ": the adapter does not answer"), std::string::npos)
        << cli->Err();
    ExpectOneJournalLineAndImagePerWrite(OutputLines());
}

TEST_F(GangE2eTest, VerifyOnTwoPortsNamesThePortOfEachDifference)
{
    Serve(2);
    cli = std::make_unique<CliProcess>(
        TARV_CLI, std::vector<std::string>{"verify", "--each", "--resolution", "D50", "-p", PortOf(0), "-p", PortOf(1)},
        root.path());
    // Each encoder: its line and one difference line.
    ASSERT_EQ(cli->WaitForLines(4).size(), 4u) << cli->Err();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(), 130) << cli->Err();
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NE(cli->Out().find(PortOf(i) + ": resolution: D50 expected, 12B found\n"), std::string::npos)
            << cli->Out();
    EXPECT_EQ(Writes(0) + Writes(1), 0u);
}

// A named port that another program holds is waited for, and told as held on its own line once
// over several tries (never as an adapter that does not answer), while the other port goes on;
// once let go, it is told so and taken up.
TEST_F(GangE2eTest, ANamedPortInUseIsWaitedForWhileTheOtherPortGoesOn)
{
    Serve(2);
    // Another program holds the first port, as a terminal program would.
    const int held = open(PortOf(0).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    std::vector<std::string> args = {"program", "--each", "--json", "--direction", "positive"};
    const std::vector<std::string> portArgs = PortArguments(2);
    args.insert(args.end(), portArgs.begin(), portArgs.end());
    cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
    // Held over more than one try of the port (one every 3 s).
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(FeedUntil(1, 2)) << cli->Err();
    while (std::chrono::steady_clock::now() - started < 4s) {
        FeedNewLines();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(Writes(0), 0u);
    const std::string p0 = "tarv-cli: " + PortOf(0) + ": ";
    const std::string whileHeld = cli->Err();
    EXPECT_EQ(Occurrences(whileHeld, p0 + PortOf(0) + " is in use by another program; trying it again every 3 s\n"), 1u)
        << whileHeld;
    EXPECT_EQ(Occurrences(whileHeld, p0 + "the adapter does not answer"), 0u) << whileHeld;

    close(held);  // let go: the line takes the port up at its next search
    ASSERT_TRUE(FeedUntil(0, 1)) << cli->Err();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(), 130) << cli->Err();
    for (const ordered_json& line : OutputLines()) EXPECT_EQ(line["result"], "ok") << line.dump();
    EXPECT_GE(Writes(0), 16u);
    const std::string told = cli->Err();
    EXPECT_EQ(Occurrences(told, p0 + PortOf(0) + " is in use by another program"), 1u) << told;
    const size_t letGo = told.find(p0 + PortOf(0) + " is no longer in use by another program\n");
    ASSERT_NE(letGo, std::string::npos) << told;
    EXPECT_NE(told.find(p0 + "waiting for an encoder on " + PortOf(0) + "\n", letGo), std::string::npos) << told;
}

TEST_F(GangE2eTest, ANamedPortThatIsMissingEndsTheLineBeforeAnythingIsSent)
{
    Serve(1);
    cli = std::make_unique<CliProcess>(TARV_CLI,
                                       std::vector<std::string>{"program", "--each", "--direction", "positive", "-p",
                                                                PortOf(0), "-p", (root.path() / "ttyMISSING").string()},
                                       root.path());
    EXPECT_EQ(cli->Wait(), 2);
    EXPECT_NE(cli->Err().find("ttyMISSING: does not exist"), std::string::npos) << cli->Err();
    EXPECT_TRUE(ParseLog(LogOf(0)).empty());
}


// One adapter named twice, by a link and by its target, would run two loops on it: refused at the
// start, before anything is sent, as a port named twice under one name is.
TEST_F(GangE2eTest, ADeviceNamedTwiceUnderTwoNamesIsRefusedBeforeAnythingIsSent)
{
    Serve(1);
    const std::string link = PortOf(0);
    const std::string target = sims[0]->slavePath();
    struct Case {
        std::vector<std::string> command;
        std::string first, second;
    };
    const Case cases[] = {
        {{"program", "--each", "--count", "1", "--direction", "positive"}, link, target},
        {{"verify", "--each", "--count", "1"}, target, link},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0]);
        std::vector<std::string> args = c.command;
        args.insert(args.end(), {"-p", c.first, "-p", c.second});
        cli = std::make_unique<CliProcess>(TARV_CLI, args, root.path());
        EXPECT_EQ(cli->Wait(), 1);
        EXPECT_EQ(cli->Err(), "tarv-cli: --port " + c.first + " and --port " + c.second + " name the same device\n");
        EXPECT_EQ(cli->Out(), "");
    }
    EXPECT_TRUE(ParseLog(LogOf(0)).empty());
}

// --trace names each port as it was given: two ports whose paths end alike are told apart.
TEST_F(GangE2eTest, TheTraceNamesEachPortAsItWasGiven)
{
    Serve(2);
    std::vector<std::string> ports;
    for (const char* folder : {"ta", "tb"}) {
        fs::create_directory(root.path() / folder);
        ports.push_back((root.path() / folder / "p1").string());
        fs::create_symlink(sims[ports.size() - 1]->slavePath(), ports.back());
    }
    const fs::path trace = root.path() / "wire.trace";
    cli = std::make_unique<CliProcess>(TARV_CLI,
                                       std::vector<std::string>{"program", "--each", "--count", "2", "--direction",
                                                                "positive", "--trace", trace.string(), "-p", ports[0],
                                                                "-p", ports[1]},
                                       root.path());
    ASSERT_EQ(cli->Wait(), 0) << cli->Err();

    // Each port's requests, as its emulator logged them, are the trace's lines that name it.
    for (size_t i = 0; i < 2; ++i) {
        std::vector<std::string> sent;
        for (const std::string& line : Lines(FileText(trace))) {
            const size_t arrow = line.find(" " + ports[i] + " > ");
            if (arrow != std::string::npos) sent.push_back(line.substr(arrow + ports[i].size() + 4));
        }
        std::vector<std::string> logged;
        for (const LoggedRequest& request : ParseLog(LogOf(i))) logged.push_back(request.bytes);
        EXPECT_EQ(sent, logged) << ports[i];
        EXPECT_EQ(Writes(i), 16u);
    }
}

}  // namespace
