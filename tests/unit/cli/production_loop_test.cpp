// program --each on the virtual clock: encoders put on, taken off and swapped while the loop
// polls; each is programmed once, the polls stay silent, and the exit code is the last failure's.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>

#include "cli/settings_request.h"
#include "support/cli_fixture.h"

namespace {

using nlohmann::ordered_json;
using sim::RequestKind;

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class CliProductionLoopTest : public CliTest {
protected:
    static cli::CliOptions Each(int count)
    {
        cli::CliOptions options = Options(cli::Subcommand::Program);
        cli::SetResolution(options.settings, "D50");
        options.settings.change.direction = cli::Direction::Positive;
        options.each = true;
        options.count = count;
        options.json = true;
        return options;
    }

    // Runs the loop; `script` sees the virtual seconds at each of the loop's pauses and the lines
    // printed so far, changes the encoder as an operator would, and returns true to stop the loop
    // as Ctrl+C does.
    int Run(const cli::CliOptions& options, std::function<bool(double, size_t)> script)
    {
        context.stopSignal = [this, script] {
            const double seconds = static_cast<double>(host.NowMicros()) / 1e6;
            return seconds > 120 || script(seconds, Lines(out.str()).size()) ? SIGINT : 0;
        };
        return cli::RunProgram(options, context);
    }

    std::vector<ordered_json> Printed() const
    {
        std::vector<ordered_json> lines;
        for (const std::string& line : Lines(out.str())) lines.push_back(ordered_json::parse(line));
        return lines;
    }
};

TEST_F(CliProductionLoopTest, ProgramsEachEncoderOnceWhetherTakenOffOrSwapped)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    double removedAt = -1;
    const int code = Run(Each(3), [&](double seconds, size_t lines) {
        if (lines == 1 && removedAt < 0) {
            adapter->RemoveEncoder();
            removedAt = seconds;
        }
        if (lines == 1 && removedAt >= 0 && seconds - removedAt > 3) adapter->PutEncoder(Encoder("KV26", "AB0002"));
        // The third comes on without a gap: only its serial number tells it from the second.
        if (lines == 2 && seconds - removedAt > 6) adapter->PutEncoder(Encoder("KV26", "AB0003"));
        return false;
    });

    EXPECT_EQ(code, 0);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), 3u);
    const char* serials[] = {"AB0001", "AB0002", "AB0003"};
    for (size_t i = 0; i < printed.size(); ++i) {
        EXPECT_EQ(printed[i]["serial"], serials[i]);
        EXPECT_EQ(printed[i]["result"], "ok");
        EXPECT_EQ(printed[i]["after"]["direction"], "positive");
        EXPECT_EQ(printed[i]["after"]["resolution"]["designation"], "D50");
    }
    EXPECT_EQ(printed[0]["product"], "KV24");
    EXPECT_EQ(printed[1]["product"], "KV26");
    // Positive is the set bit in family A's list and the clear bit in family B's.
    EXPECT_EQ(adapter->memory()[2] & 0x20, 0);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 48u);
    // Seconds of empty adapter, and not one failed name read reached the console.
    EXPECT_TRUE(host.messages().empty());
    // Said at the start; after each encoder the port waits for the next without a word.
    EXPECT_EQ(Count(err.str(), "waiting for an encoder on COM3"), 1u);
    EXPECT_FALSE(PortIsOpen());
}

// Calls `onLine` whenever a line is flushed, as a reader of the output would act on it at once.
class ReactingBuffer : public std::stringbuf {
public:
    explicit ReactingBuffer(std::function<void()> onLine) : onLine_(std::move(onLine)) {}

protected:
    int sync() override
    {
        onLine_();
        return 0;
    }

private:
    std::function<void()> onLine_;
};

TEST_F(CliProductionLoopTest, TheNextEncoderPutOnAsTheLineAppearsIsNotMistakenForTheLast)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    int printed = 0;
    ReactingBuffer buffer([&] {
        if (++printed == 1) adapter->PutEncoder(Encoder("KV24", "AB0002"));
    });
    std::ostream reacting(&buffer);
    cli::RunContext swapping{reacting, err, [] { return kCliTestNow; },
                             [this] { return host.NowMicros() > 20'000'000 ? SIGINT : 0; }};
    swapping.dataFolder = context.dataFolder;

    EXPECT_EQ(cli::RunProgram(Each(2), swapping), 0);
    EXPECT_EQ(printed, 2);
    EXPECT_NE(buffer.str().find("AB0002"), std::string::npos);
}

TEST_F(CliProductionLoopTest, AnEncoderLeftOnTheAdapterIsProgrammedOnlyOnce)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    // Stopped as Ctrl+C stops it: 128 + SIGINT, after a summary of what was done.
    EXPECT_EQ(Run(Each(0), [](double seconds, size_t) { return seconds > 10; }), 130);
    EXPECT_EQ(Lines(err.str()).back(), "tarv-cli: 1 ok, 0 failed");
    EXPECT_EQ(Printed().size(), 1u);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    // Polled as the window's watch polls: a presence request and a name read every half second.
    EXPECT_GE(adapter->FramesOf(RequestKind::Presence).size(), 18u);
    EXPECT_FALSE(PortIsOpen());
}

TEST_F(CliProductionLoopTest, CountsOnlyEncodersProgrammedOkAndEndsWithTheLastFailuresExitCode)
{
    sim::AdapterOptions refusing;
    refusing.blockStatus[0x20] = 0;
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"), refusing);
    const int code = Run(Each(1), [&](double, size_t lines) {
        if (lines == 1 && adapter->options().blockStatus.count(0x20) != 0) {
            adapter->options().blockStatus.clear();
            adapter->PutEncoder(Encoder("KV24", "AB0002"));
        }
        return false;
    });
    EXPECT_EQ(code, 4);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0]["result"], "write-failed");
    EXPECT_EQ(printed[0]["reason"], "block 0x20 was refused; the blocks before it are written");
    EXPECT_EQ(printed[1]["result"], "ok");
    EXPECT_EQ(Lines(err.str()).back(), "tarv-cli: 1 ok, 1 failed (1 write-failed)");
}

TEST_F(CliProductionLoopTest, AnAdapterLostAndBackWithTheSameEncoderDoesNotWriteItAgain)
{
    struct Case {
        const char* what;
        double from, to;  // seconds in which the adapter does not answer
    };
    const Case cases[] = {
        {"a missed presence request and its retry", 2.0, 2.3},
        {"half a minute away", 2.0, 30.0},
    };
    host.ListPort("COM3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProgramState();
        const double startedAt = static_cast<double>(host.NowMicros()) / 1e6;
        out.str("");
        err.str("");
        auto adapter = std::make_shared<sim::AdapterEmulator>(Encoder("KV24", "AB0001"));
        ConnectAdapter("COM3", adapter);
        const int code = Run(Each(2), [&](double seconds, size_t) {
            adapter->options().unplugged = seconds - startedAt > c.from && seconds - startedAt < c.to;
            return seconds - startedAt > 40;
        });
        EXPECT_EQ(code, 130);
        EXPECT_EQ(Count(err.str(), "the adapter does not answer"), 1u);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_EQ(Printed().size(), 1u);
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
        // Found again, it still waits for the encoder done to be taken off.
        EXPECT_EQ(Count(err.str(), "waiting for an encoder"), 1u);
    }
}

TEST_F(CliProductionLoopTest, EncodersSwappedWithoutAGapAreEachProgrammedOnce)
{
    // The next encoder, of the other product, goes on at another moment after each line: between
    // any two requests of the polls that follow (the last one between the first two requests of a
    // poll), so that no poll can take the product of one encoder and the serial of the next.
    constexpr int kEncoders = 40;
    const auto serial = [](int i) { return "SW00" + std::to_string(10 + i); };
    const auto product = [](int i) { return i % 2 == 0 ? "KV24" : "KV26"; };
    auto adapter = AddAdapter("COM3", Encoder(product(0), serial(0).c_str()));
    int next = 1;
    size_t framesSinceLine = 0, linesSeen = 0;
    double lastSwapAt = 1e9;
    adapter->OnFrame([&](const sim::LoggedFrame&) {
        const size_t lines = Lines(out.str()).size();
        if (lines != linesSeen) linesSeen = lines, framesSinceLine = 0;
        if (lines != static_cast<size_t>(next) || next >= kEncoders || ++framesSinceLine != 1u + (next + 3) % 5) return;
        adapter->PutEncoder(Encoder(product(next), serial(next).c_str()));
        if (++next == kEncoders) lastSwapAt = static_cast<double>(host.NowMicros()) / 1e6;
    });
    EXPECT_EQ(Run(Each(0), [&](double seconds, size_t) { return seconds > lastSwapAt + 20; }), 130);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), static_cast<size_t>(kEncoders));
    for (int i = 0; i < kEncoders; ++i) {
        EXPECT_EQ(printed[i]["product"], product(i));
        EXPECT_EQ(printed[i]["serial"], serial(i));
        EXPECT_EQ(printed[i]["result"], "ok");
    }
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u * kEncoders);
}

TEST_F(CliProductionLoopTest, AnEncoderPutOnRightAfterTheLastOnesReadBackIsProgrammed)
{
    // The encoder done is the one whose memory was read and written; nothing read after its
    // read-back can make the next one pass for it.
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    bool readingBack = false, swapped = false;
    adapter->OnFrame([&](const sim::LoggedFrame& frame) {
        const bool lastWrite = frame.kind == RequestKind::EepromWrite && frame.bytes[2] == 0x78;
        const bool lastRead = frame.kind == RequestKind::EepromRead && frame.bytes[2] == 0x60 && frame.bytes[3] == 0x20;
        if (lastWrite)
            readingBack = true;
        else if (readingBack && lastRead)
            readingBack = false, swapped = true;
        else if (swapped && adapter->FramesOf(RequestKind::EepromWrite).size() == 16u)
            adapter->PutEncoder(Encoder("KV24", "AB0002")), swapped = false;
    });
    EXPECT_EQ(Run(Each(2), [](double seconds, size_t) { return seconds > 30; }), 0);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[1]["serial"], "AB0002");
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 32u);
}

TEST_F(CliProductionLoopTest, AnAdapterMissingAtTheStartIsWaitedFor)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    adapter->options().presenceAnswer = std::nullopt;
    const int code = Run(Each(1), [&](double seconds, size_t) {
        if (seconds > 5) adapter->options().presenceAnswer = 4;
        return false;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Printed().size(), 1u);
    EXPECT_EQ(Count(err.str(), "the adapter does not answer; searching COM3 every 3 s"), 1u);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(CliProductionLoopTest, ANamedPortThatDoesNotOpenEndsAtOnce)
{
    host.ListPort("COM3");  // listed, but does not open
    EXPECT_EQ(Run(Each(0), [](double, size_t) { return false; }), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("COM3"), std::string::npos);
}

TEST_F(CliProductionLoopTest, AnEncoderOfAnUnknownProductIsToldOnceAndLeftAlone)
{
    const eeprom::Image unknown = Encoder("ZZ99", "XX0001");
    auto adapter = AddAdapter("COM3", unknown);
    const int code = Run(Each(1), [&](double seconds, size_t) {
        if (seconds > 5) adapter->PutEncoder(Encoder("KV24", "AB0002"));  // swapped for a known one
        return false;
    });
    EXPECT_EQ(code, 6);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0]["product"], "ZZ99");
    EXPECT_EQ(printed[0]["result"], "not-applicable");
    EXPECT_EQ(printed[0]["reason"], "unknown product");
    EXPECT_EQ(printed[1]["serial"], "AB0002");
    EXPECT_EQ(printed[1]["result"], "ok");
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
}

TEST_F(CliProductionLoopTest, AnEncoderWhoseReadFailedIsNotTakenForTheNextOne)
{
    // The first encoder is taken off during its whole read; the next one put on must be programmed.
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    bool takenOff = false;
    adapter->OnFrame([&](const sim::LoggedFrame& frame) {
        if (!takenOff && frame.kind == RequestKind::EepromRead && frame.bytes.size() == 4 && frame.bytes[3] == 0x20) {
            adapter->RemoveEncoder();
            takenOff = true;
        }
    });
    const int code = Run(Each(1), [&](double, size_t lines) {
        if (lines == 1 && adapter->options().encoderAbsent) adapter->PutEncoder(Encoder("KV24", "AB0002"));
        return false;
    });
    EXPECT_EQ(code, 3);
    const std::vector<ordered_json> printed = Printed();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0]["result"], "read-failed");
    EXPECT_EQ(printed[1]["serial"], "AB0002");
    EXPECT_EQ(printed[1]["result"], "ok");
}

TEST_F(CliProductionLoopTest, ARecordThatCannotBeWrittenEndsTheRunWithExitCodeEight)
{
    const std::filesystem::path folder = ScratchPath();
    std::filesystem::create_directory(folder);
    cli::CliOptions options = Each(3);
    options.logPath = (folder / "line.jsonl").string();
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    const int code = Run(options, [&](double, size_t lines) {
        if (lines == 1 && std::filesystem::exists(folder)) {
            std::filesystem::remove_all(folder);  // the log's folder goes away while the line runs
            adapter->PutEncoder(Encoder("KV24", "AB0002"));
        }
        return false;
    });
    EXPECT_EQ(code, 8);
    EXPECT_EQ(Printed().size(), 2u);  // the second encoder is still told on the output
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 32u);
    EXPECT_NE(err.str().find("tarv-cli: the record of this encoder could not be written: "), std::string::npos)
        << err.str();
    EXPECT_EQ(Lines(err.str()).back(), "tarv-cli: 2 ok, 0 failed; the last encoder's record could not be written");
}

TEST_F(CliProductionLoopTest, AStopDuringAWriteFinishesTheEncoderAndItsLine)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    int signal = 0;
    adapter->OnFrame([&](const sim::LoggedFrame& frame) {
        if (frame.kind == RequestKind::EepromWrite && frame.bytes[2] == 0x08) signal = SIGTERM;  // after block 0x00
    });
    context.stopSignal = [&] { return signal; };
    EXPECT_EQ(cli::RunProgram(Each(0), context), 143);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    ASSERT_EQ(Printed().size(), 1u);
    EXPECT_EQ(Printed()[0]["result"], "ok");
}

}  // namespace

namespace {

// --all-ports on the virtual clock: the line runs on the ports whose adapter answers at the start,
// each port's thread with a host of its own that leads to the same emulated adapter.
class CliAllPortsTest : public CliProductionLoopTest {
protected:
    CliAllPortsTest()
    {
        context.hostFor = [this](const std::string& port) {
            auto own = std::make_unique<platform::VirtualHost>();
            own->SetToday(kToday);
            own->ListPort(port);
            if (const auto adapter = adapters_.find(port); adapter != adapters_.end()) {
                platform::VirtualHost* clock = own.get();
                own->ConnectPort(port, [clock, emulator = adapter->second] {
                    return std::make_unique<sim::EmulatedPort>(emulator, [clock] { return clock->NowMicros(); });
                });
            }
            return own;
        };
        // A line that goes wrong ends within the test's time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        context.stopSignal = [deadline] { return std::chrono::steady_clock::now() > deadline ? SIGINT : 0; };
    }

    void Adapter(const std::string& port, const eeprom::Image& image) { adapters_[port] = AddAdapter(port, image); }

    std::map<std::string, std::shared_ptr<sim::AdapterEmulator>> adapters_;
};

TEST_F(CliAllPortsTest, RunsOnEveryPortWhoseAdapterAnswersAtTheStart)
{
    Adapter("COM1", Encoder("KV24", "AB0001"));
    host.ListPort("COM2");  // listed, but no adapter behind it
    Adapter("COM3", Encoder("KV26", "AB0003"));
    cli::CliOptions options = Each(2);
    options.port.clear();
    options.allPorts = true;

    EXPECT_EQ(cli::RunProgram(options, context), 0) << err.str();
    std::map<std::string, std::string> serialOnPort;
    for (const ordered_json& line : Printed()) serialOnPort[line["port"]] = line["serial"];
    EXPECT_EQ(serialOnPort, (std::map<std::string, std::string>{{"COM1", "AB0001"}, {"COM3", "AB0003"}}));
    EXPECT_EQ(adapters_["COM1"]->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_EQ(adapters_["COM3"]->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_NE(err.str().find("tarv-cli: COM1: 1 ok, 0 failed"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("tarv-cli: all ports: 2 ok, 0 failed"), std::string::npos) << err.str();
}

TEST_F(CliAllPortsTest, NoAdapterAnsweringAtTheStartIsExitTwo)
{
    host.ListPort("COM2");
    cli::CliOptions options = Each(2);
    options.port.clear();
    options.allPorts = true;
    EXPECT_EQ(cli::RunProgram(options, context), 2);
    EXPECT_NE(err.str().find("tarv-cli: no adapter answers on any port"), std::string::npos) << err.str();
}

}  // namespace

namespace {

// --all-ports tells the listed ports that it leaves out, and why: a fixture held by another
// program is not passed over without a word.
TEST_F(CliAllPortsTest, TheListedPortsLeftOutAreToldWithWhy)
{
    Adapter("COM1", Encoder("KV24", "AB0001"));
    AddAdapter("COM2", Encoder("KV24", "AB0002"), SilentAdapter());
    host.ListPort("COM3");
    host.RefusePort("COM3", platform::PortOpenFailure::InUse);
    AddAdapter("COM4", Encoder("KV24", "AB0004"), SilentAdapter());
    cli::CliOptions options = Each(1);
    options.port.clear();
    options.allPorts = true;

    EXPECT_EQ(cli::RunProgram(options, context), 0) << err.str();
    EXPECT_EQ(Lines(err.str()).front(),
              "tarv-cli: left out of the line: COM2, COM4 (no adapter answers); COM3 (in use by another program)");
    EXPECT_EQ(adapters_["COM1"]->FramesOf(RequestKind::EepromWrite).size(), 16u);
}

TEST_F(CliAllPortsTest, WhenNoneAnswersTheHeldPortIsToldEvenWhenQuiet)
{
    host.ListPort("COM3");
    host.RefusePort("COM3", platform::PortOpenFailure::InUse);
    cli::CliOptions options = Each(1);
    options.port.clear();
    options.allPorts = true;
    options.quiet = true;

    EXPECT_EQ(cli::RunProgram(options, context), 2);
    EXPECT_EQ(err.str(), "tarv-cli: left out of the line: COM3 (in use by another program)\n"
                         "tarv-cli: no adapter answers on any port\n");
}

}  // namespace

namespace {

// Reads that come back short are a fault of the encoder or its cable, not an empty fixture: the
// line says so once, and programs the encoder once it reads cleanly.
TEST_F(CliProductionLoopTest, AnEncoderWhoseAnswersComeShortIsToldAsAFaultOnce)
{
    sim::AdapterOptions shortReads;
    shortReads.shortReadBy = 1;
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"), shortReads);
    const int code = Run(Each(1), [&](double seconds, size_t) {
        if (seconds > 10) adapter->options().shortReadBy = 0;  // its cable seated again
        return false;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Count(err.str(), "tarv-cli: the encoder on COM3 answers with the wrong length: a fault of the "
                               "encoder or its cable\n"),
              1u)
        << err.str();
    EXPECT_EQ(Count(err.str(), "waiting for an encoder"), 1u) << err.str();
    ASSERT_EQ(Printed().size(), 1u);
    EXPECT_EQ(Printed()[0]["result"], "ok");
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
}

}  // namespace

namespace {

// What the line says on a busy port: that it waits, once at its start; that its adapter is gone;
// and that it is back with the encoder done still on it. Nothing after each encoder.
TEST_F(CliProductionLoopTest, TheLineTellsEachChangeOnceAndNotEveryEncoder)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    double lostAt = -1;
    int put = 1;  // encoders put on so far
    const int code = Run(Each(3), [&](double seconds, size_t lines) {
        if (lines == 1 && put == 1) adapter->PutEncoder(Encoder("KV24", "AB0002")), ++put;
        if (lines == 2 && lostAt < 0) {
            adapter->options().unplugged = true;  // with the second encoder on it
            lostAt = seconds;
        }
        if (lostAt >= 0 && seconds - lostAt > 5) adapter->options().unplugged = false;
        if (lostAt >= 0 && seconds - lostAt > 10 && put == 2) adapter->PutEncoder(Encoder("KV24", "AB0003")), ++put;
        return false;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Printed().size(), 3u);
    EXPECT_EQ(Lines(err.str()), (std::vector<std::string>{
                                    "tarv-cli: waiting for an encoder on COM3",
                                    "tarv-cli: the adapter does not answer; searching COM3 every 3 s",
                                    "tarv-cli: the adapter answers again on COM3, with the encoder done still on it",
                                    "tarv-cli: 3 ok, 0 failed",
                                }));
}

}  // namespace
