#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace {

using AdapterTest = LinkTest;
using sim::AdapterOptions;
using sim::RequestKind;

constexpr sim::Micros kMs = 1000;

AdapterOptions WithLatency(sim::Micros latency)
{
    AdapterOptions options;
    options.latency = latency;
    return options;
}

TEST(DeadlinePassed, IsStrictAndSurvivesTheTickWrap)
{
    EXPECT_FALSE(DeadlinePassed(1000, 1050, 50));
    EXPECT_TRUE(DeadlinePassed(1000, 1051, 50));
    EXPECT_FALSE(DeadlinePassed(0xFFFFFFF0u, 0x00000022u, 50));  // 50 ms across the wrap
    EXPECT_TRUE(DeadlinePassed(0xFFFFFFF0u, 0x00000023u, 50));
}

TEST_F(AdapterTest, PingWithoutPortAnswersOneAndSendsNothing)
{
    EXPECT_EQ(PingAdapter(), 1);
    EXPECT_TRUE(host.openAttempts().empty());
    EXPECT_EQ(host.NowMicros(), 0u);
}

TEST_F(AdapterTest, PingAnswerCountsUntilThePollThatPassesFiftyMs)
{
    struct Case {
        sim::Micros latency;
        uint8_t answer;
    };
    // The poll that notices the passed deadline still takes a byte that is waiting by then.
    const Case cases[] = {{0, 4}, {40 * kMs, 4}, {50 * kMs, 4}, {51 * kMs, 4}, {52 * kMs, 0}, {60 * kMs, 0}};
    for (const auto& c : cases) {
        auto adapter = OpenAdapter(sim::Format2Image(), WithLatency(c.latency));
        const uint64_t start = host.NowMicros();
        EXPECT_EQ(PingAdapter(), c.answer) << c.latency;
        EXPECT_LE(ElapsedMsSince(start), 51u);
        EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{{0x5A, 0x01, 0x00, 0x00}}));
    }
}

// A console idles between the polls of the waits that have no pause (the ping, the blink, a
// block's status) for at most the time left to the deadline; the deadline itself stays where it
// was, and the waits with their own pause (the reads) are not touched.
TEST_F(AdapterTest, AnIdlingHostWaitsUpToTheDeadlineAndNotPastIt)
{
    std::vector<uint32_t> idles;
    host.OnIdleBetweenPolls([&](uint32_t maxMs) {
        idles.push_back(maxMs);
        host.Advance(uint64_t{maxMs} * 1000);  // nothing arrives: the whole time passes
    });

    auto silent = OpenAdapter(sim::Format2Image(), SilentAdapter());
    const uint64_t start = host.NowMicros();
    EXPECT_EQ(PingAdapter(), 0);
    // One idle, from the first poll (1 ms on this clock) to just past 50 ms; then the poll that
    // sees the deadline passed.
    EXPECT_EQ(idles, (std::vector<uint32_t>{50}));
    EXPECT_EQ(ElapsedMsSince(start), 52u);

    idles.clear();
    AdapterOptions slowEeprom;
    slowEeprom.blockWriteTime = 300 * kMs;
    OpenAdapter(sim::Format2Image(), slowEeprom);
    host.OnIdleBetweenPolls([&](uint32_t maxMs) {
        idles.push_back(maxMs);
        host.Advance(uint64_t{std::min<uint32_t>(maxMs, 100)} * 1000);  // woken by the status byte
    });
    EXPECT_EQ(WriteEepromBlock(8, Bytes{0x42}), WriteOutcome::Written);
    ASSERT_FALSE(idles.empty());
    EXPECT_EQ(idles.front(), 500u);
    for (const uint32_t maxMs : idles) EXPECT_LE(maxMs, 500u);

    idles.clear();
    std::array<uint8_t, 32> block{};
    EXPECT_EQ(ReadEepromBlock(0, 32, block), 1);
    EXPECT_TRUE(idles.empty());
}

TEST_F(AdapterTest, PingWithTwoBytesIsNoAnswerAndTheNextRequestDiscardsThem)
{
    AdapterOptions options;
    options.extraAnswerBytes = 1;
    auto adapter = OpenAdapter(sim::Format2Image(), options);
    EXPECT_EQ(PingAdapter(), 0);
    adapter->options().extraAnswerBytes = 0;
    EXPECT_EQ(PingAdapter(), 4);
}

TEST_F(AdapterTest, PingAcrossTheTickWrap)
{
    platform::VirtualHost wrapping(0xFFFFFFE0u);
    platform::ScopedHost use(wrapping);
    auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image(), WithLatency(40 * kMs));
    wrapping.ConnectPort(
        "COM1", [&] { return std::make_unique<sim::EmulatedPort>(adapter, [&] { return wrapping.NowMicros(); }); });
    OpenPort("COM1");
    EXPECT_EQ(PingAdapter(), 4);
    adapter->options().presenceAnswer = std::nullopt;
    const uint64_t start = wrapping.NowMicros();
    EXPECT_EQ(PingAdapter(), 0);
    EXPECT_EQ((wrapping.NowMicros() - start) / kMs, 51u);
    ClosePort();
}

TEST_F(AdapterTest, BlinkSendsFourSignalFramesAboutTwentyMsApart)
{
    auto adapter = OpenAdapter();
    BlinkAdapter(2, 20);
    const auto frames = adapter->FramesOf(RequestKind::Signal);
    EXPECT_EQ(
        frames,
        (std::vector<Bytes>{
            {0x5A, 0x10, 0x0F, 0x00}, {0x5A, 0x10, 0x0E, 0x00}, {0x5A, 0x10, 0x0F, 0x00}, {0x5A, 0x10, 0x0E, 0x00}}));
    const auto& log = adapter->log();
    for (size_t i = 1; i < log.size(); ++i) {
        const auto gap = (log[i].at - log[i - 1].at) / kMs;
        EXPECT_GE(gap, 20u);
        EXPECT_LE(gap, 22u);
    }
    EXPECT_EQ(adapter->Arrived(host.NowMicros()), 0u);  // every answer was read
}

TEST_F(AdapterTest, BlinkWithoutAnswersWaitsEachFrameOutAndPumpsOnce)
{
    AdapterOptions silent;
    silent.unplugged = true;
    auto adapter = OpenAdapter(sim::Format2Image(), silent);
    const uint64_t start = host.NowMicros();
    BlinkAdapter(2, 20);
    EXPECT_EQ(adapter->FramesOf(RequestKind::Signal).size(), 4u);
    EXPECT_EQ(host.processMessagesCalls(), 4);
    EXPECT_NEAR(ElapsedMsSince(start), 4 * 301, 8);
}

TEST_F(AdapterTest, BlinkStopsWhenAHandlerClosesThePortDuringItsPause)
{
    auto adapter = OpenAdapter();
    host.OnProcessMessages([] { ClosePort(); });
    BlinkAdapter(2, 20);
    EXPECT_EQ(adapter->FramesOf(RequestKind::Signal).size(), 1u);
}

TEST_F(AdapterTest, BlinkWithoutPortOrCyclesSendsNothing)
{
    BlinkAdapter(2, 20);
    auto adapter = OpenAdapter();
    BlinkAdapter(0, 20);
    BlinkAdapter(-1, 20);
    EXPECT_TRUE(adapter->log().empty());
}

TEST_F(AdapterTest, ReadBlockReturnsTheBytesFromTheAddressUp)
{
    auto adapter = OpenAdapter();
    std::array<uint8_t, 6> buffer{};
    EXPECT_EQ(ReadEepromBlock(73, 4, buffer), 1);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), TextBytes("KV24"));
    EXPECT_EQ(buffer[4], 0);
    EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{{0x55, 0xA1, 73, 4}}));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(AdapterTest, ReadBlockFailuresLeaveTheBufferUntouched)
{
    struct Case {
        const char* what;
        int extra;
        int shortBy;
        uint32_t minMs;
        uint32_t maxMs;
    };
    const Case cases[] = {
        {"five bytes for four", 1, 0, 0, 10},
        {"three bytes by the deadline", 0, 1, 501, 510},
    };
    for (const auto& c : cases) {
        AdapterOptions options;
        options.extraAnswerBytes = c.extra;
        options.shortReadBy = c.shortBy;
        OpenAdapter(sim::Format2Image(), options);
        host.ClearMessages();
        std::array<uint8_t, 4> buffer = {9, 9, 9, 9};
        const uint64_t start = host.NowMicros();
        EXPECT_EQ(ReadEepromBlock(73, 4, buffer), 0) << c.what;
        EXPECT_GE(ElapsedMsSince(start), c.minMs) << c.what;
        EXPECT_LE(ElapsedMsSince(start), c.maxMs) << c.what;
        EXPECT_EQ(AsBytes(buffer), Bytes(4, 9)) << c.what;
        EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM 1", "ERROR"}}));
    }
}

TEST_F(AdapterTest, ReadBlockWithoutPort)
{
    std::array<uint8_t, 4> buffer{};
    EXPECT_EQ(ReadEepromBlock(73, 4, buffer), 0);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port not valid 1", "ERROR"}}));
}

TEST_F(AdapterTest, ReadBlockThatDeliversLessThanTheQueueReportedFails)
{
    auto adapter = OpenAdapter();
    ASSERT_EQ(PingAdapter(), 4);
    adapter->options().portVanished = true;  // queries fail and the stale count of 1 stands
    std::array<uint8_t, 1> buffer = {7};
    EXPECT_EQ(ReadEepromBlock(73, 1, buffer), 0);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM 1", "ERROR"}}));
}

TEST_F(AdapterTest, WriteBlockOutcomeFollowsTheStatusByte)
{
    struct Case {
        uint8_t status;
        WriteOutcome outcome;
    };
    const Case cases[] = {{0, WriteOutcome::Refused}, {1, WriteOutcome::Written}, {0xFF, WriteOutcome::Written}};
    for (const auto& c : cases) {
        AdapterOptions options;
        options.blockStatus[16] = c.status;
        auto adapter = OpenAdapter(sim::Format2Image(), options);
        const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(WriteEepromBlock(16, data), c.outcome) << int{c.status};
        EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{{0x55, 0xA0, 16, 8, 1, 2, 3, 4, 5, 6, 7, 8}}));
        EXPECT_EQ(ImageBytes(adapter->memory(), 16, 8) == data, c.status != 0);
    }
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(AdapterTest, WriteStatusInThePollThatPassesFiveHundredMsIsNoAnswer)
{
    struct Case {
        sim::Micros writeTime;
        WriteOutcome outcome;
    };
    const Case cases[] = {{500 * kMs, WriteOutcome::Written}, {501 * kMs, WriteOutcome::NoAnswer}};
    for (const auto& c : cases) {
        AdapterOptions options;
        options.blockWriteTime = c.writeTime;
        auto adapter = OpenAdapter(sim::Format2Image(), options);
        EXPECT_EQ(WriteEepromBlock(8, Bytes{0x42}), c.outcome);
        EXPECT_EQ(adapter->Arrived(host.NowMicros()), 0u);  // the status was read either way
    }
}

TEST_F(AdapterTest, WriteBlockIgnoredAndStrayBytes)
{
    AdapterOptions options;
    options.ignoredBlocks = {24};
    options.extraAnswerBytes = 2;
    auto adapter = OpenAdapter(sim::Format2Image(), options);
    const uint64_t start = host.NowMicros();
    EXPECT_EQ(WriteEepromBlock(24, Bytes{1}), WriteOutcome::NoAnswer);
    EXPECT_EQ(ElapsedMsSince(start), 501u);
    // Stray bytes behind a status stay queued; the next request discards them first.
    EXPECT_EQ(WriteEepromBlock(32, Bytes{0}), WriteOutcome::Written);
    EXPECT_EQ(adapter->Arrived(host.NowMicros()), 2u);
    EXPECT_EQ(WriteEepromBlock(40, Bytes{0}), WriteOutcome::Written);
}

TEST_F(AdapterTest, WriteBlockOutsideOneToEightBytesIsNotSent)
{
    auto adapter = OpenAdapter();
    EXPECT_EQ(WriteEepromBlock(0, Bytes{}), WriteOutcome::Refused);
    EXPECT_EQ(WriteEepromBlock(0, Bytes(9, 1)), WriteOutcome::Refused);
    EXPECT_TRUE(adapter->log().empty());
}

TEST_F(AdapterTest, WriteBlockWithoutPortIsNoAnswerAtOnce)
{
    const uint64_t start = host.NowMicros();
    EXPECT_EQ(WriteEepromBlock(0, Bytes{1}), WriteOutcome::NoAnswer);
    EXPECT_EQ(host.NowMicros(), start);
}

TEST_F(AdapterTest, WriteStatusThatTheReadDoesNotDeliverIsNoAnswer)
{
    auto adapter = OpenAdapter();
    ASSERT_EQ(PingAdapter(), 4);
    adapter->options().portVanished = true;
    EXPECT_EQ(WriteEepromBlock(0, Bytes{1}), WriteOutcome::NoAnswer);
}

}  // namespace
