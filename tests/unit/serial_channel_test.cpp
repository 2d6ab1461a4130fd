#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace {

using SerialChannelTest = LinkTest;
using sim::AdapterOptions;
using sim::RequestKind;

TEST_F(SerialChannelTest, ListSortsCaseInsensitivelyByCharacterAndReplacesTheList)
{
    host.SetListing({{"COM2", "com10", "COM1", "COM11", "COM9", "ttyUSB0", "ttyACM0"}, false});
    std::vector<std::string> list = {"OLD1", "OLD2"};
    ListSerialPorts(list);
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "com10", "COM11", "COM2", "COM9", "ttyACM0", "ttyUSB0"}));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(SerialChannelTest, ListFollowsTheUsersCollation)
{
    // A collation that puts e-acute right after e, as many locales do; byte order puts it after z.
    const std::string eAcute = "\xC3\xA9";
    host.SetCollation([&eAcute](std::string_view a, std::string_view b) {
        const auto key = [&eAcute](std::string_view text) {
            std::string keyed(text);
            for (size_t at; (at = keyed.find(eAcute)) != std::string::npos;) keyed.replace(at, eAcute.size(), "e\x7F");
            return keyed;
        };
        return key(a).compare(key(b));
    });
    const std::string ttyEAcute = "tty" + eAcute + "0";
    host.SetListing({{"ttyz0", ttyEAcute, "ttyf0", "ttye0"}, false});
    std::vector<std::string> list;
    ListSerialPorts(list);
    EXPECT_EQ(list, (std::vector<std::string>{"ttye0", ttyEAcute, "ttyf0", "ttyz0"}));
}

TEST_F(SerialChannelTest, ListingFailuresShowErrorAndKeepWhatWasRead)
{
    struct Case {
        platform::PortListing listing;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{{}, true}, {}},                              // the serial-port key could not be opened
        {{{"COM3", "COM1"}, true}, {"COM1", "COM3"}},  // enumeration stopped half-way
    };
    for (const auto& c : cases) {
        host.ClearMessages();
        host.SetListing(c.listing);
        std::vector<std::string> list = {"COM7"};
        ListSerialPorts(list);
        EXPECT_EQ(list, c.expected);
        EXPECT_EQ(host.messages(), (std::vector<Message>{{"Error", "COM PORT"}}));
    }
}

TEST_F(SerialChannelTest, TryPortTakesOnlyAnAdapterAnsweringFourOrMore)
{
    struct Case {
        std::optional<uint8_t> answer;
        int result;
    };
    const Case cases[] = {{std::nullopt, -1}, {0, -1}, {1, -1}, {2, -1}, {3, -1}, {4, 0}, {5, 0}, {255, 0}};
    for (const auto& c : cases) {
        AdapterOptions options;
        options.presenceAnswer = c.answer;
        auto adapter = AddAdapter("COM4", sim::Format2Image(), options);
        EXPECT_EQ(TryPort("COM4"), c.result);
        EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{{0x5A, 0x01, 0x00, 0x00}}));
        EXPECT_EQ(PortIsOpen(), c.result == 0);
        EXPECT_EQ(SerialChannel.portName, c.result == 0 ? "COM4" : "");
        ClosePort();
        SerialChannel.portName.clear();
    }
}

TEST_F(SerialChannelTest, TryPortOnAPortThatWillNotOpen)
{
    host.ListPort("COM1");  // listed but held by another program
    EXPECT_EQ(TryPort("COM1"), -2);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "");
}

TEST_F(SerialChannelTest, OpenPortClosesTheOldPortEvenWhenTheNewOneFails)
{
    AddAdapter("COM1");
    OpenPort("COM1");
    ASSERT_TRUE(PortIsOpen());
    OpenPort("");
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "");
    EXPECT_EQ(host.openAttempts(), (std::vector<std::string>{"COM1", ""}));
}

TEST_F(SerialChannelTest, ScanTriesPortsInListOrderAndStopsAtTheAdapter)
{
    auto adapter = AddAdapter("COM2");
    auto nothing = AddAdapter("COM10", sim::Format2Image(), SilentAdapter());
    host.ListPort("COM1");  // will not open
    auto second = AddAdapter("COM3");

    EXPECT_TRUE(ScanForAdapter());
    EXPECT_EQ(PortList, (std::vector<std::string>{"COM1", "COM10", "COM2", "COM3"}));
    EXPECT_EQ(host.openAttempts(), (std::vector<std::string>{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(nothing->FramesOf(RequestKind::Presence).size(), 1u);
    EXPECT_EQ(SerialChannel.portName, "COM2");
    EXPECT_TRUE(PortIsOpen());
    EXPECT_TRUE(second->log().empty());
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(SerialChannelTest, ScanWithoutAdapterLeavesNoPort)
{
    AdapterOptions answersThree;
    answersThree.presenceAnswer = 3;
    AddAdapter("COM1", sim::Format2Image(), answersThree);
    host.ListPort("COM2");
    EXPECT_FALSE(ScanForAdapter());
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "");
}

TEST_F(SerialChannelTest, ScanOfAnEmptyListKeepsThePortInUse)
{
    ConnectAdapter("COM5", std::make_shared<sim::AdapterEmulator>(sim::Format2Image()));
    OpenPort("COM5");
    EXPECT_FALSE(ScanForAdapter());
    EXPECT_TRUE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "COM5");
}

TEST_F(SerialChannelTest, AFailedQueueQueryLeavesTheLastSuccessfulCount)
{
    auto adapter = OpenAdapter();
    ASSERT_EQ(PingAdapter(), 4);  // the last poll saw one byte waiting
    adapter->options().portVanished = true;
    EXPECT_EQ(BytesWaiting(), 1u);
    adapter->options().portVanished = false;
    EXPECT_EQ(BytesWaiting(), 0u);
}

}  // namespace

namespace {

TEST_F(SerialChannelTest, BytesStillWaitingWhenThePortClosesAreObservedAsDiscarded)
{
    // A presence answer that came after its deadline: a trace tells it, though the wait gave up.
    AdapterOptions late;
    late.latency = 60'000;
    auto adapter = OpenAdapter(sim::Format2Image(), late);
    std::vector<std::pair<char, Bytes>> seen;
    ObserveWire([&seen](const std::string& port, char direction, std::span<const uint8_t> bytes) {
        EXPECT_EQ(port, "COM3");
        seen.emplace_back(direction, Bytes(bytes.begin(), bytes.end()));
    });
    EXPECT_EQ(PingAdapter(), 0);
    host.Sleep(20);
    OpenPort("COM4");  // closes COM3 first, under its own name
    ObserveWire({});
    EXPECT_EQ(seen, (std::vector<std::pair<char, Bytes>>{{'>', {0x5A, 0x01, 0x00, 0x00}}, {'x', {0x04}}}));
    EXPECT_EQ(adapter->Frames().size(), 1u);  // nothing else went on the wire
}

}  // namespace

namespace {

TEST_F(SerialChannelTest, APortIsToldTheAdapterAnsweredHoweverItWasOpened)
{
    // Opened again by name, as the port dialog and the port button do, not by a search: the
    // watch's ping is what tells the port it leads to the adapter.
    struct Case {
        const char* what;
        std::optional<uint8_t> presence;
        int told;
    };
    const Case cases[] = {{"the adapter answers", 4, 1}, {"an answer that keeps it", 3, 1}, {"too low", 2, 0},
                          {"no answer", std::nullopt, 0}};
    for (const Case& c : cases) {
        AdapterOptions options;
        options.presenceAnswer = c.presence;
        auto adapter = OpenAdapter(sim::Format2Image(), options);
        PingAdapter();
        EXPECT_EQ(adapter->adapterAnsweredTold, c.told) << c.what;
        ClosePort();
    }
}

}  // namespace
