// The link's state is each thread's own: threads that each install a host and open a port run the
// link's procedures side by side, each on its own adapter, as one production loop per port will.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "support/frames.h"
#include "support/link_fixture.h"

namespace {

using LinkThreadsTest = LinkTest;

constexpr int kStations = 4;
constexpr int kRounds = 5;
constexpr platform::PortOpenFailure kRefusals[kStations] = {
    platform::PortOpenFailure::PermissionDenied, platform::PortOpenFailure::InUse, platform::PortOpenFailure::NotSerial,
    platform::PortOpenFailure::NoDevice};

// An image that no other station or round writes: its first two bytes name them, and every
// other byte differs from the same address of every other station's image.
eeprom::Image ImageOf(int station, int round)
{
    eeprom::Image image{};
    for (int address = 0; address < eeprom::kImageSize; ++address)
        image[address] = static_cast<uint8_t>((station << 6) ^ (round * 5 + address));
    image[0] = static_cast<uint8_t>(station);
    image[1] = static_cast<uint8_t>(round);
    return image;
}

// Threads that take their steps in turn, in index order, so that each step of one thread runs
// between two steps of every other: state shared by mistake shows whatever the machine's timing.
// Without turns the threads run freely.
class Turns {
public:
    Turns(int threads, bool taken) : threads_(threads), taken_(taken) {}

    void Take(int index, const std::function<void()>& step)
    {
        if (!taken_) return step();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return next_ % threads_ == index; });
        step();
        ++next_;
        changed_.notify_all();
    }

private:
    const int threads_;
    const bool taken_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int next_ = 0;
};

struct HeardFrame {
    std::string port;
    Bytes bytes;
    bool operator==(const HeardFrame&) const = default;
};

// One thread's host and adapter, and what the thread saw; checked on the test's thread after it ends.
struct Station {
    explicit Station(int index) : index(index), port("ttyUSB" + std::to_string(index))
    {
        adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image());
        // Unsorted, and listed as failed on every other station: the listing's message and flag
        // must stay that station's.
        host.SetListing({{port, "COM1"}, index % 2 == 0});
        host.RefusePort("COM1", kRefusals[index]);
        host.ConnectPort(
            port, [this] { return std::make_unique<sim::EmulatedPort>(adapter, [this] { return host.NowMicros(); }); });
    }

    const int index;
    const std::string port;
    platform::VirtualHost host;
    std::shared_ptr<sim::AdapterEmulator> adapter;

    bool foreignHostSeen = false;
    bool foreignPortSeen = false;
    int missingPortResult = 0;
    platform::PortOpenFailure openFailure = platform::PortOpenFailure::None;
    bool adapterFound = false;
    bool listingFailed = false;
    std::vector<std::string> portList;
    std::vector<int> blocksWritten;
    std::vector<eeprom::Image> readBack;
    std::vector<uint8_t> pings;
    std::vector<HeardFrame> heard;  // what the thread's wire observer heard sent
};

int WriteImage(const eeprom::Image& image)
{
    int written = 0;
    for (int address = 0; address < eeprom::kImageSize; address += 8) {
        const auto data = std::span(image).subspan(static_cast<size_t>(address), 8);
        if (WriteEepromBlock(static_cast<uint8_t>(address), data) == WriteOutcome::Written) ++written;
    }
    return written;
}

void RunStation(Station& s, Turns& turns)
{
    std::optional<platform::ScopedHost> installed;
    // Each step first checks that the thread still has its own host and, once found, its own port.
    const auto step = [&](const std::function<void()>& body) {
        turns.Take(s.index, [&] {
            if (installed && &platform::host() != &s.host) s.foreignHostSeen = true;
            if (s.adapterFound && SerialChannel.portName != s.port) s.foreignPortSeen = true;
            body();
        });
    };
    step([&] {
        installed.emplace(s.host);
        ObserveWire([&s](const std::string& port, char direction, std::span<const uint8_t> bytes) {
            if (direction == '>') s.heard.push_back({port, Bytes(bytes.begin(), bytes.end())});
        });
    });
    step([&] { s.missingPortResult = TryPort("COM1"); });
    step([&] {
        s.openFailure = LastOpenFailure();
        s.adapterFound = ScanForAdapter();
    });
    step([&] {
        s.listingFailed = LastListingFailed();
        s.portList = PortList;
    });
    for (int round = 0; round < kRounds; ++round) {
        step([&] { s.blocksWritten.push_back(WriteImage(ImageOf(s.index, round))); });
        step([&] {
            eeprom::Image image{};
            if (ReadWholeMemory(image) == 1) s.readBack.push_back(image);
        });
        step([&] { s.pings.push_back(PingAdapter()); });
    }
    step([&] {
        ReleasePort();
        ObserveWire({});
        installed.reset();
    });
}

// The frames that station's adapter should have seen, and only those: the search's presence
// request, then each round's sixteen blocks, its whole-memory read and a presence request.
std::vector<Bytes> ExpectedFrames(int station)
{
    const Bytes presence = {0x5A, 0x01, 0x00, 0x00};
    std::vector<Bytes> frames = {presence};
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<Bytes> writes = ImageWriteFrames(ImageOf(station, round));
        const std::vector<Bytes> reads = WholeReadFrames();
        frames.insert(frames.end(), writes.begin(), writes.end());
        frames.insert(frames.end(), reads.begin(), reads.end());
        frames.push_back(presence);
    }
    return frames;
}

void ExpectStationSawOnlyItsOwn(const Station& s)
{
    SCOPED_TRACE("station " + std::to_string(s.index));
    EXPECT_FALSE(s.foreignHostSeen);
    EXPECT_FALSE(s.foreignPortSeen);
    EXPECT_EQ(s.missingPortResult, kPortDidNotOpen);
    EXPECT_EQ(s.openFailure, kRefusals[s.index]);
    EXPECT_TRUE(s.adapterFound);
    EXPECT_EQ(s.listingFailed, s.index % 2 == 0);
    EXPECT_EQ(s.portList, (std::vector<std::string>{"COM1", s.port}));
    const std::vector<Message> listingMessages = {{"Error", "COM PORT"}};
    EXPECT_EQ(s.host.messages(), s.index % 2 == 0 ? listingMessages : std::vector<Message>{});

    const std::vector<Bytes> expected = ExpectedFrames(s.index);
    EXPECT_EQ(s.adapter->Frames(), expected);
    std::vector<HeardFrame> expectedHeard;
    for (const Bytes& frame : expected) expectedHeard.push_back({s.port, frame});
    EXPECT_EQ(s.heard, expectedHeard);

    EXPECT_EQ(s.blocksWritten, std::vector<int>(kRounds, 16));
    std::vector<eeprom::Image> images;
    for (int round = 0; round < kRounds; ++round) images.push_back(ImageOf(s.index, round));
    EXPECT_EQ(s.readBack, images);
    EXPECT_EQ(s.pings, std::vector<uint8_t>(kRounds, 4));
    EXPECT_EQ(s.adapter->memory(), images.back());
}

TEST_F(LinkThreadsTest, ThreadsEachTalkToTheirOwnAdapterThroughTheirOwnHost)
{
    // The test's own thread keeps a port of its own open throughout.
    auto ownAdapter = OpenAdapter();
    ListSerialPorts(PortList);
    for (const bool takingTurns : {true, false}) {
        SCOPED_TRACE(takingTurns ? "taking turns step by step" : "running freely");
        std::vector<std::unique_ptr<Station>> stations;
        for (int index = 0; index < kStations; ++index) stations.push_back(std::make_unique<Station>(index));
        Turns turns(kStations, takingTurns);
        std::vector<std::thread> threads;
        for (auto& station : stations) threads.emplace_back(RunStation, std::ref(*station), std::ref(turns));
        for (std::thread& thread : threads) thread.join();
        for (const auto& station : stations) ExpectStationSawOnlyItsOwn(*station);
    }
    EXPECT_EQ(&platform::host(), &host);
    EXPECT_EQ(SerialChannel.portName, "COM3");
    EXPECT_EQ(PortList, (std::vector<std::string>{"COM3"}));
    EXPECT_EQ(PingAdapter(), 4);
    EXPECT_EQ(ownAdapter->FramesOf(sim::RequestKind::Presence).size(), 1u);
    EXPECT_EQ(ownAdapter->Frames().size(), 1u);
    EXPECT_TRUE(host.messages().empty());
}

// A port that tells when it is closed.
class ClosingProbe final : public platform::SerialPort {
public:
    explicit ClosingProbe(std::atomic<bool>& closed) : closed_(closed) {}
    ~ClosingProbe() override { closed_ = true; }
    void DiscardReceived() override {}
    std::optional<uint32_t> BytesWaiting() override { return 0; }
    void Write(std::span<const uint8_t>) override {}
    size_t Read(std::span<uint8_t>) override { return 0; }

private:
    std::atomic<bool>& closed_;
};

TEST_F(LinkThreadsTest, ANewThreadStartsWithoutAPortAndItsPortClosesWhenItEnds)
{
    auto ownAdapter = OpenAdapter();
    ListSerialPorts(PortList);
    std::atomic<bool> closed = false;
    platform::VirtualHost threadHost;
    threadHost.ConnectPort("COM9", [&closed] { return std::make_unique<ClosingProbe>(closed); });
    bool startedWithoutPort = false;
    bool opened = false;
    std::thread([&] {
        const platform::ScopedHost installedHere(threadHost);
        startedWithoutPort = !PortIsOpen() && SerialChannel.portName.empty() && PortList.empty() &&
                             LastOpenFailure() == platform::PortOpenFailure::None && !LastListingFailed();
        OpenPort("COM9");
        opened = PortIsOpen() && SerialChannel.portName == "COM9";
        // Ends with the port open.
    }).join();
    EXPECT_TRUE(startedWithoutPort);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(closed);
    EXPECT_EQ(SerialChannel.portName, "COM3");
    EXPECT_EQ(PingAdapter(), 4);
    EXPECT_EQ(ownAdapter->Frames().size(), 1u);
}

}  // namespace
