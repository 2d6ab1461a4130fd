// The emulator is the yardstick of every link test, so its own timing and memory rules are
// checked here.
#include <gtest/gtest.h>

#include <string>

#include "commands/program_command.h"
#include "sim/sim_commands.h"
#include "support/link_fixture.h"

namespace {

using sim::AdapterEmulator;
using sim::AdapterOptions;
using sim::RequestKind;

TEST(AdapterEmulator, WirePacingCostsElevenBitsABothWays)
{
    AdapterOptions options;
    options.wirePacing = true;
    AdapterEmulator adapter(sim::Format2Image(), options);
    const Bytes request = {0x55, 0xA1, 0x00, 0x20};
    adapter.HostWrote(request, 0);
    // 4 bytes out and 32 back, 572.9 us each.
    EXPECT_EQ(adapter.log().at(0).at, 2292u);
    EXPECT_EQ(adapter.Arrived(2292 + 572), 0u);
    EXPECT_EQ(adapter.Arrived(2292 + 573), 1u);
    EXPECT_EQ(adapter.NextArrival(), 2292u + 573u);
    EXPECT_EQ(adapter.Arrived(20'625), 32u);
    EXPECT_EQ(adapter.Arrived(20'624), 31u);
}

// A USB serial converter's latency timer: at each of its ticks the host has exactly what had
// crossed the wire by that tick, and nothing comes between ticks. The wire keeps its own pace, so
// an answer queued behind another is not held up by the first one's wait.
TEST(AdapterEmulator, AConverterPassesAnswersOnOnlyAtItsTimerTicks)
{
    struct Case {
        const char* what;
        Bytes requests;
        sim::Micros at;
    };
    const Case cases[] = {
        {"a 32-byte read", {0x55, 0xA1, 0x00, 0x20}, 0},
        {"two reads back to back", {0x55, 0xA1, 0x00, 0x20, 0x55, 0xA1, 0x20, 0x20}, 0},
        {"a block write's status", {0x55, 0xA0, 0x00, 8, 1, 2, 3, 4, 5, 6, 7, 8}, 0},
        {"a presence answer sent between ticks", {0x5A, 0x01, 0, 0}, 3'100},
    };
    constexpr sim::Micros kLastTick = 100'000;
    for (const sim::Micros tick : {sim::Micros{1'000}, sim::Micros{16'000}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", timer " + std::to_string(tick) + " us");
            AdapterOptions options;
            options.wirePacing = true;
            options.blockWriteTime = 5'000;
            AdapterEmulator direct(sim::Format2Image(), options);
            options.usbLatency = tick;
            AdapterEmulator converted(sim::Format2Image(), options);
            direct.HostWrote(c.requests, c.at);
            converted.HostWrote(c.requests, c.at);

            ASSERT_TRUE(converted.NextArrival().has_value());
            EXPECT_EQ(*converted.NextArrival() % tick, 0u);
            // Arrived only grows, so holding at a tick and just before the next one holds between.
            for (sim::Micros at = 0; at < kLastTick; at += tick) {
                ASSERT_EQ(converted.Arrived(at), direct.Arrived(at)) << "at the tick " << at;
                ASSERT_EQ(converted.Arrived(at + tick - 1), direct.Arrived(at)) << "before the tick " << at + tick;
            }
            std::array<uint8_t, 80> viaConverter{};
            std::array<uint8_t, 80> straight{};
            const size_t count = direct.Take(straight, kLastTick);
            EXPECT_GT(count, 0u);
            ASSERT_EQ(converted.Take(viaConverter, kLastTick), count);
            EXPECT_EQ(viaConverter, straight);
        }
    }
}

TEST(AdapterEmulator, WritesWrapWithinTheirGroupOfEight)
{
    AdapterEmulator adapter(eeprom::Image{});
    adapter.HostWrote(Bytes{0x55, 0xA0, 0x0E, 4, 1, 2, 3, 4}, 0);
    EXPECT_EQ(ImageBytes(adapter.memory(), 8, 8), (Bytes{3, 4, 0, 0, 0, 0, 1, 2}));
    std::array<uint8_t, 4> status{};
    EXPECT_EQ(adapter.Take(status, 0), 1u);
    EXPECT_EQ(status[0], 1);
}

TEST(AdapterEmulator, AFlippedBitIsStoredInvertedAndStillAcknowledged)
{
    AdapterOptions options;
    options.flippedBits[10] = 0x04;
    AdapterEmulator adapter(eeprom::Image{}, options);
    adapter.HostWrote(Bytes{0x55, 0xA0, 8, 8, 1, 2, 3, 4, 5, 6, 7, 8}, 0);
    EXPECT_EQ(ImageBytes(adapter.memory(), 8, 8), (Bytes{1, 2, 3 ^ 0x04, 4, 5, 6, 7, 8}));
    std::array<uint8_t, 2> status{};
    ASSERT_EQ(adapter.Take(status, 0), 1u);
    EXPECT_EQ(status[0], 1);
}

TEST(AdapterEmulator, ResynchronisesAfterNoiseAndSplitFrames)
{
    AdapterEmulator adapter(sim::Format2Image());
    adapter.HostWrote(Bytes{0x00, 0x13, 0x5A, 0x01}, 0);
    adapter.HostWrote(Bytes{0x00}, 10);
    adapter.HostWrote(Bytes{0x00, 0x55, 0xA1, 0x49, 0x04}, 20);
    EXPECT_EQ(adapter.FramesOf(RequestKind::Presence), (std::vector<Bytes>{{0x5A, 0x01, 0x00, 0x00}}));
    EXPECT_EQ(adapter.FramesOf(RequestKind::EepromRead), (std::vector<Bytes>{{0x55, 0xA1, 0x49, 0x04}}));
    std::array<uint8_t, 8> answer{};
    ASSERT_EQ(adapter.Take(answer, 20), 5u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 5), (Bytes{4, 'K', 'V', '2', '4'}));
}

TEST(AdapterEmulator, UnplugAfterFramesStillLogsTheWire)
{
    AdapterOptions options;
    options.unplugAfterFrames = 1;
    AdapterEmulator adapter(sim::Format2Image(), options);
    adapter.HostWrote(Bytes{0x5A, 0x01, 0, 0}, 0);
    adapter.HostWrote(Bytes{0x5A, 0x01, 0, 0}, 1);
    EXPECT_EQ(adapter.log().size(), 2u);
    EXPECT_EQ(adapter.Arrived(10), 1u);
}

TEST(AdapterEmulator, CommandsTakeTheEncoderOffAndPutAnotherOn)
{
    AdapterEmulator adapter(sim::Format2Image());
    std::array<uint8_t, 16> answer{};
    const auto answered = [&](const Bytes& request, sim::Micros at) {
        adapter.HostWrote(request, at);
        return adapter.Take(answer, at);
    };
    const Bytes nameRead = {0x55, 0xA1, 0x49, 0x04};
    const Bytes block = {0x55, 0xA0, 0x00, 1, 0x77};

    EXPECT_EQ(sim::ApplySimCommand("remove", adapter), "");
    EXPECT_EQ(answered({0x5A, 0x01, 0, 0}, 0), 1u);  // the adapter is still there
    EXPECT_EQ(answered(nameRead, 1), 0u);
    EXPECT_EQ(answered(block, 2), 0u);
    EXPECT_EQ(adapter.memory(), sim::Format2Image());

    EXPECT_EQ(sim::ApplySimCommand("  encoder KV26 ZX0002 ", adapter), "");
    ASSERT_EQ(answered(nameRead, 3), 4u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), TextBytes("KV26"));
    sim::ProductRecordSpec spec;
    spec.name = "KV26";
    spec.serial = "ZX0002";
    EXPECT_EQ(adapter.memory(), sim::Format2Image(spec));

    EXPECT_EQ(sim::ApplySimCommand("", adapter), "");
    for (const char* wrong : {"encoder KV2 ZX0002", "encoder KV26", "remove now", "insert"})
        EXPECT_NE(sim::ApplySimCommand(wrong, adapter), "") << wrong;
    EXPECT_EQ(adapter.memory(), sim::Format2Image(spec));
}

// PROG waits for each block's status before it sends the next, so behind a converter every one
// of the sixteen blocks waits for the timer's next tick: 12.45 ms of wire and EEPROM time become
// a whole number of ticks. The link notices a released byte within its next poll (1 ms here).
class ConverterTimerTest : public LinkTest {};

TEST_F(ConverterTimerTest, EachOfProgsSixteenBlocksWaitsForTheNextTick)
{
    struct Case {
        sim::Micros tick;
        sim::Micros blockAtLeast;  // a request, the EEPROM's 5 ms and the status, in whole ticks
    };
    const Case cases[] = {{16'000, 16'000}, {1'000, 13'000}};
    for (const Case& c : cases) {
        SCOPED_TRACE("timer " + std::to_string(c.tick) + " us");
        AdapterOptions options;
        options.wirePacing = true;
        options.blockWriteTime = 5'000;
        options.usbLatency = c.tick;
        auto adapter = OpenAdapter(sim::Format2Image(), options);
        adapter->ClearLog();

        ASSERT_EQ(commands::WriteImage(adapter->memory()), WriteOutcome::Written);

        const std::vector<sim::LoggedFrame>& frames = adapter->log();
        ASSERT_EQ(frames.size(), 16u);
        for (size_t i = 1; i < frames.size(); ++i) {
            const sim::Micros gap = frames[i].at - frames[i - 1].at;
            EXPECT_GE(gap, c.blockAtLeast) << "block " << i;
            EXPECT_LE(gap, c.blockAtLeast + 1'000) << "block " << i;
        }
        ReleasePort();
    }
}

}  // namespace
