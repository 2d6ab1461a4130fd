#include <gtest/gtest.h>

#include "support/frames.h"
#include "support/link_fixture.h"

namespace {

using EepromTest = LinkTest;
using sim::AdapterOptions;
using sim::RequestKind;

constexpr sim::Micros kMs = 1000;

sim::ProductRecordSpec Product(const std::string& name, const std::string& serial)
{
    sim::ProductRecordSpec spec;
    spec.name = name;
    spec.serial = serial;
    spec.manufactured = {2013, 5, 17};
    spec.lastChanged = {2014, 1, 8};
    spec.carried = {0xBE, 0xEF};
    return spec;
}

// A model full of values that no read would produce, to see that a failed read leaves it alone.
void FillModelWithSentinels()
{
    DeviceModel.ConfigBlock.fill(0x77);
    DeviceModel.DeviceTag.fill(0x77);
    DeviceModel.FormatVersion = 0x77;
    DeviceModel.ProductName.fill(0x77);
    DeviceModel.SerialNumber.fill(0x77);
    DeviceModel.RecordChecksum = 0x77;
}

void ExpectModelHoldsSentinels()
{
    EXPECT_EQ(AsBytes(DeviceModel.ConfigBlock), Bytes(16, 0x77));
    EXPECT_EQ(AsBytes(DeviceModel.DeviceTag), Bytes(8, 0x77));
    EXPECT_EQ(DeviceModel.FormatVersion, 0x77);
    EXPECT_EQ(AsBytes(DeviceModel.ProductName), Bytes(4, 0x77));
    EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), Bytes(6, 0x77));
    EXPECT_EQ(DeviceModel.RecordChecksum, 0x77);
}

TEST_F(EepromTest, ReadsAFormatTwoImageInFourRequests)
{
    const eeprom::Image image = sim::Format2Image(Product("HXD6", "ZX0042"));
    auto adapter = OpenAdapter(image);
    EXPECT_EQ(ReadDeviceImage(), 1);
    EXPECT_EQ(adapter->Frames(), WholeReadFrames());
    EXPECT_EQ(AsBytes(DeviceModel.ConfigBlock), ImageBytes(image, 0, 16));
    EXPECT_EQ(AsBytes(DeviceModel.DeviceTag), ImageBytes(image, 120, 8));
    EXPECT_EQ(DeviceModel.FormatVersion, 2);
    EXPECT_EQ(AsBytes(DeviceModel.ProductName), TextBytes("HXD6"));
    EXPECT_EQ(AsBytes(DeviceModel.CarriedBytes), (Bytes{0xBE, 0xEF}));
    EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), TextBytes("ZX0042"));
    EXPECT_EQ(DayNumberFromBytes(DeviceModel.ManufacturedDate), DayNumberFromDate({2013, 5, 17}));
    EXPECT_EQ(AsBytes(DeviceModel.LastChangedDate), (Bytes{0x00, 0x00, 0xA2, 0xAF}));
    EXPECT_EQ(DeviceModel.RecordChecksum, image[93]);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(EepromTest, FormatOneRecordBecomesFormatTwo)
{
    struct Case {
        uint16_t counter;
        const char* serial;
    };
    const Case cases[] = {{1234, "AB1234"}, {7, "AB0007"}, {0, "AB0000"}, {12345, "AB1234"}, {65535, "AB6553"}};
    for (const auto& c : cases) {
        const eeprom::Image image = sim::Format1Image(Product("KV21", "AB"), c.counter);
        OpenAdapter(image);
        ASSERT_EQ(ReadDeviceImage(), 1);
        EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), TextBytes(c.serial)) << c.counter;
        EXPECT_EQ(DeviceModel.FormatVersion, 2);
        EXPECT_EQ(AsBytes(DeviceModel.ProductName), TextBytes("KV21"));
        EXPECT_EQ(AsBytes(DeviceModel.CarriedBytes), (Bytes{0xBE, 0xEF}));
        EXPECT_EQ(AsBytes(DeviceModel.ManufacturedDate), ImageBytes(image, 83, 4));
        EXPECT_EQ(AsBytes(DeviceModel.LastChangedDate), ImageBytes(image, 87, 4));
        EXPECT_EQ(DeviceModel.RecordChecksum, image[91]);
    }
}

TEST_F(EepromTest, UnknownFormatReadsAsAnEmptyRecord)
{
    for (const uint8_t formatByte : {uint8_t{0}, uint8_t{3}, uint8_t{0xFF}}) {
        FillModelWithSentinels();
        const eeprom::Image image = sim::BlankImage(formatByte);
        OpenAdapter(image);
        EXPECT_EQ(ReadDeviceImage(), 1);
        EXPECT_EQ(DeviceModel.FormatVersion, 2);
        EXPECT_EQ(RecordBytesOfModel()[0], 2);
        for (size_t i = 1; i < 21; ++i) EXPECT_EQ(RecordBytesOfModel()[i], 0) << i;
        EXPECT_EQ(DeviceModel.RecordChecksum, 0);
        EXPECT_EQ(AsBytes(DeviceModel.ConfigBlock), ImageBytes(image, 0, 16));
        EXPECT_EQ(AsBytes(DeviceModel.DeviceTag), ImageBytes(image, 120, 8));
    }
}

TEST_F(EepromTest, ReadWithoutPort)
{
    FillModelWithSentinels();
    EXPECT_EQ(ReadDeviceImage(), 0);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port not valid", "ERROR"}}));
    ExpectModelHoldsSentinels();
}

TEST_F(EepromTest, ReadThatDoesNotEndWithExactly128BytesFails)
{
    struct Case {
        const char* what;
        AdapterOptions options;
    };
    AdapterOptions extra, shortAnswer, slow;
    extra.extraAnswerBytes = 1;
    extra.extraBytesOnly = RequestKind::EepromRead;
    shortAnswer.shortReadBy = 1;
    slow.latency = 600 * kMs;
    const Case cases[] = {{"132 bytes", extra}, {"124 bytes", shortAnswer}, {"no answer in time", slow}};
    for (const auto& c : cases) {
        auto adapter = OpenAdapter(sim::Format2Image(), c.options);
        host.ClearMessages();
        FillModelWithSentinels();
        EXPECT_EQ(ReadDeviceImage(), 0) << c.what;
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromRead).size(), 4u) << c.what;
        EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM", "ERROR"}}));
        ExpectModelHoldsSentinels();
    }
}

TEST_F(EepromTest, AfterATimeoutTheOtherRequestsGetOnePollEach)
{
    AdapterOptions slow;
    slow.latency = 600 * kMs;
    auto adapter = OpenAdapter(sim::Format2Image(), slow);
    const uint64_t start = host.NowMicros();
    EXPECT_EQ(ReadDeviceImage(), 0);
    const auto& log = adapter->log();
    ASSERT_EQ(log.size(), 4u);
    // Each poll costs 1 ms of queue query and 5 ms of pause on the virtual clock: the first
    // request times out at the poll whose tick reads 505 ms, the others get one poll each.
    for (size_t i = 1; i < log.size(); ++i) EXPECT_EQ((log[i].at - log[i - 1].at) / kMs, i == 1 ? 510u : 6u) << i;
    EXPECT_LT(ElapsedMsSince(start), 530u);
}

TEST_F(EepromTest, ReadThatDeliversLessThanTheQueueReportedLeavesTheModel)
{
    auto adapter = OpenAdapter();
    ASSERT_EQ(ReadDeviceImage(), 1);  // the last successful count is now 128
    adapter->options().portVanished = true;
    FillModelWithSentinels();
    EXPECT_EQ(ReadDeviceImage(), 0);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM", "ERROR"}}));
    ExpectModelHoldsSentinels();
}

class RecordWriteTest : public LinkTest {
protected:
    // A model holding a record that differs from the one on the device.
    void LoadModelRecord()
    {
        DeviceModel.FormatVersion = 2;
        DeviceModel.ProductName = {'H', 'X', 'D', '3'};
        DeviceModel.CarriedBytes = {0x01, 0x02};
        DeviceModel.SerialNumber = {'Q', 'R', '9', '8', '7', '6'};
        DeviceModel.ManufacturedDate = {0x00, 0x00, 0xA2, 0xAF};
        DeviceModel.LastChangedDate = {0x00, 0x00, 0xA2, 0xB0};
        DeviceModel.RecordChecksum = 0x99;  // stale; the write computes its own
    }

    Bytes ExpectedRecord() const
    {
        const auto body = RecordBytesOfModel();
        Bytes record(body.begin(), body.end());
        record.push_back(SumChecksum(body));
        return record;
    }

    static Bytes WriteFrame(uint8_t address, const Bytes& data)
    {
        Bytes frame = {0x55, 0xA0, address, static_cast<uint8_t>(data.size())};
        frame.insert(frame.end(), data.begin(), data.end());
        return frame;
    }
};

TEST_F(RecordWriteTest, WritesThreeBlocksAndVerifiesTheReadBack)
{
    auto adapter = OpenAdapter(sim::BlankImage());
    LoadModelRecord();
    const DeviceModelState before = DeviceModel;
    const Bytes record = ExpectedRecord();

    WriteProductRecord();

    EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{WriteFrame(72, Bytes(record.begin(), record.begin() + 8)),
                                                     WriteFrame(80, Bytes(record.begin() + 8, record.begin() + 16)),
                                                     WriteFrame(88, Bytes(record.begin() + 16, record.end())),
                                                     {0x55, 0xA1, 72, 22}}));
    EXPECT_EQ(ImageBytes(adapter->memory(), 72, 22), record);
    EXPECT_EQ(record[0], 2);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(DeviceModel.RecordChecksum, before.RecordChecksum);
    EXPECT_EQ(DeviceModel.SerialNumber, before.SerialNumber);
}

TEST_F(RecordWriteTest, StopsAtTheFirstBlockThatFails)
{
    struct Case {
        const char* what;
        AdapterOptions options;
        size_t framesSent;
        Message message;
    };
    AdapterOptions refused80, silent88, silent72;
    refused80.blockStatus[80] = 0;
    silent88.ignoredBlocks = {88};
    silent72.blockWriteTime = 501 * kMs;  // the status comes in the poll that passes the deadline
    const Case cases[] = {
        {"refused at 80", refused80, 2, {"Writing to EEPROM was unsuccesfull", "ERROR"}},
        {"no status at 88", silent88, 3, {"COM port is not responding", "ERROR"}},
        {"status too late at 72", silent72, 1, {"COM port is not responding", "ERROR"}},
    };
    for (const auto& c : cases) {
        const eeprom::Image original = sim::BlankImage();
        auto adapter = OpenAdapter(original, c.options);
        host.ClearMessages();
        LoadModelRecord();
        const Bytes record = ExpectedRecord();
        WriteProductRecord();
        EXPECT_EQ(adapter->log().size(), c.framesSent) << c.what;
        EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromRead).empty()) << c.what;
        EXPECT_EQ(host.messages(), (std::vector<Message>{c.message})) << c.what;
    }
}

TEST_F(RecordWriteTest, VerificationComparesTheFirstTwentyOneBytesOnly)
{
    struct Case {
        uint8_t stuckCell;
        std::vector<Message> messages;
    };
    const Case cases[] = {
        {93, {}},  // only the checksum byte came back wrong
        {80, {{"Written data is corrupted", "EEPROM verification error"}}},
    };
    for (const auto& c : cases) {
        AdapterOptions options;
        options.stuckCells[c.stuckCell] = 0x5A;
        OpenAdapter(sim::BlankImage(), options);
        host.ClearMessages();
        LoadModelRecord();
        WriteProductRecord();
        EXPECT_EQ(host.messages(), c.messages) << int{c.stuckCell};
    }
}

TEST_F(RecordWriteTest, FailedReadBackReportsTwice)
{
    AdapterOptions options;
    options.shortReadBy = 1;
    OpenAdapter(sim::BlankImage(), options);
    LoadModelRecord();
    WriteProductRecord();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM 1", "ERROR"},
                                                     {"Written data is corrupted", "EEPROM verification error"}}));
}

TEST_F(RecordWriteTest, WithoutPortNothingIsSentOrShown)
{
    LoadModelRecord();
    WriteProductRecord();
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.openAttempts().empty());
}

}  // namespace

namespace {

// A failed read tells, as data, whether none answered or an answer came with the wrong length,
// decided by the bytes waiting at the deadline; the window's messages stay the same.
TEST_F(EepromTest, AFailedReadTellsNoAnswerFromAnAnswerOfTheWrongLength)
{
    struct Case {
        const char* what;
        AdapterOptions adapter;
        ReadFailure failure;
    };
    AdapterOptions absent, shortBy1, tooLong, slow;
    absent.encoderAbsent = true;
    shortBy1.shortReadBy = 1;
    tooLong.extraAnswerBytes = 1;
    // The answer's first bytes cross the wire just before the deadline, the rest after it.
    slow.wirePacing = true;
    slow.readLatency = 497 * kMs;
    const Case cases[] = {
        {"an encoder that answers", {}, ReadFailure::None},
        {"no encoder", absent, ReadFailure::NoAnswer},
        {"a byte short", shortBy1, ReadFailure::WrongLength},
        {"a byte too many", tooLong, ReadFailure::WrongLength},
        {"too slow", slow, ReadFailure::WrongLength},
    };
    const std::vector<Message> failed[] = {{{"False communication with EEPROM 1", "ERROR"}},
                                           {{"False communication with EEPROM", "ERROR"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool ok = c.failure == ReadFailure::None;
        OpenAdapter(sim::Format2Image(), c.adapter);
        host.ClearMessages();
        std::array<uint8_t, 13> head{};
        EXPECT_EQ(ReadEepromBlock(0x48, 13, head), ok ? 1 : 0);
        EXPECT_EQ(LastReadFailure(), c.failure);
        EXPECT_EQ(host.messages(), ok ? std::vector<Message>{} : failed[0]);
        host.ClearMessages();
        eeprom::Image memory{};
        EXPECT_EQ(ReadWholeMemory(memory), ok ? 1 : 0);
        EXPECT_EQ(LastReadFailure(), c.failure);
        EXPECT_EQ(host.messages(), ok ? std::vector<Message>{} : failed[1]);
    }
    ClosePort();
    eeprom::Image memory{};
    EXPECT_EQ(ReadWholeMemory(memory), 0);
    EXPECT_EQ(LastReadFailure(), ReadFailure::NoPort);
}

}  // namespace
