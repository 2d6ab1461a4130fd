#include <gtest/gtest.h>

#include "gui/form_fixture.h"
#include "support/frames.h"
#include "support/programming_image.h"

namespace {

using sim::AdapterOptions;
using sim::RequestKind;

constexpr int32_t kToday = 46000;  // 9 December 2025

class ProgramCommandTest : public FormTest {
protected:
    ProgramCommandTest() { host.SetToday(kToday); }

    static eeprom::Image ExpectedImage(const eeprom::Image& device, const std::array<uint8_t, 16>& edited)
    {
        return ExpectedProgrammingImage(device, edited, kToday);
    }
};

TEST_F(ProgramCommandTest, WritesTheMergedImageInSixteenBlocksAndReadsItBack)
{
    const eeprom::Image device = sim::Format2Image();
    auto adapter = SeenEncoder(device);
    Pick(Get<QComboBox>("CmbBoxRes"), 14);  // code 0x1C
    Pick(Get<QComboBox>("CmbBoxFCTR"), 0);  // 0x4304
    Pick(Get<QComboBox>("CmbBoxDir"), 1);
    const auto edited = DeviceModel.ConfigBlock;

    form->BtnProgClick();

    const eeprom::Image expected = ExpectedImage(device, edited);
    EXPECT_EQ(adapter->Frames(), ProgrammingFrames(expected));
    EXPECT_EQ(adapter->memory(), expected);
    EXPECT_EQ(expected[0] & 0x1F, 0x1C);
    EXPECT_EQ(expected[4], 4);
    EXPECT_EQ(expected[5], 0xC3);  // bit 7 is the device's
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(AsBytes(DeviceModel.LastChangedDate), AsBytes(DayNumberToBytes(kToday)));
}

TEST_F(ProgramCommandTest, FormatOneRecordGoesBackAsFormatTwo)
{
    sim::ProductRecordSpec spec;
    spec.serial = "CD";
    const eeprom::Image device = sim::Format1Image(spec, 42);
    auto adapter = SeenEncoder(device);
    form->BtnProgClick();
    EXPECT_EQ(adapter->memory()[72], 2);
    EXPECT_EQ(ImageBytes(adapter->memory(), 79, 6), TextBytes("CD0042"));
    EXPECT_EQ(ImageBytes(adapter->memory(), 16, 56), Bytes(56, 0));
    EXPECT_EQ(ImageBytes(adapter->memory(), 94, 26), Bytes(26, 0));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ProgramCommandTest, ABlockThatFailsEndsTheCommand)
{
    struct Case {
        const char* what;
        AdapterOptions options;
        size_t writes;
        Message message;
    };
    AdapterOptions refused, silent;
    refused.blockStatus[40] = 0;
    silent.ignoredBlocks = {96};
    const Case cases[] = {
        {"refused block 5", refused, 6, {"Writing to EEPROM was unsuccesfull", "ERROR"}},
        {"unanswered block 12", silent, 13, {"COM port is not responding!", "ERROR"}},
    };
    for (const auto& c : cases) {
        const eeprom::Image device = sim::Format2Image();
        auto adapter = SeenEncoder(device, c.options);
        host.ClearMessages();
        form->BtnProgClick();
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), c.writes) << c.what;
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromRead).size(), 4u) << c.what;  // no read-back
        EXPECT_EQ(host.messages(), (std::vector<Message>{c.message})) << c.what;
        EXPECT_FALSE(Get<QPushButton>("BtnProg")->isEnabled()) << c.what;
        EXPECT_TRUE(form->Timer1->isActive()) << c.what;
        // The blocks before the failing one are on the device.
        const eeprom::Image expected = ExpectedImage(device, DeviceModel.ConfigBlock);
        const int written = static_cast<int>(c.writes - 1) * 8;
        EXPECT_EQ(ImageBytes(adapter->memory(), 0, written), ImageBytes(expected, 0, written)) << c.what;
        EXPECT_EQ(ImageBytes(adapter->memory(), written, 8), ImageBytes(device, written, 8)) << c.what;
        form.reset();
    }
}

TEST_F(ProgramCommandTest, AStatusAfterFiveHundredMsIsNoAnswer)
{
    auto adapter = SeenEncoder(sim::Format2Image());
    adapter->options().blockWriteTime = 501'000;
    form->BtnProgClick();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port is not responding!", "ERROR"}}));
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 1u);
}

TEST_F(ProgramCommandTest, DeviceBitsThatDifferFromTheEditedCopyFailVerification)
{
    auto adapter = SeenEncoder(sim::Format2Image());
    DeviceModel.ConfigBlock[1] ^= 0x01;  // not a bit the lists own: the device's value is written
    form->BtnProgClick();
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"EEPROM verification error", "ERROR"}}));
    EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled());
}

TEST_F(ProgramCommandTest, ARecordThatReadsBackDifferentFailsVerification)
{
    // 0x4A holds the product name's second letter; a cell that keeps another letter names another product.
    const eeprom::Image device = sim::Format2Image();
    auto adapter = SeenEncoder(device);
    adapter->options().stuckCells[0x4A] = 'X';
    form->BtnProgClick();
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"EEPROM verification error", "ERROR"}}));
    EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled());
}

TEST_F(ProgramCommandTest, AFailedReadBackIsStillComparedWithWhatWasWritten)
{
    // The adapter answers the fresh read and the sixteen blocks, then falls silent: DeviceModel
    // keeps what PROG wrote, and the edited copy is compared with that.
    struct Case {
        const char* what;
        bool deviceByteChanged;  // ConfigBlock byte 1, carried from the device, changed since the first sight
        std::vector<Message> messages;
    };
    const Message readFailed{"False communication with EEPROM", "ERROR"};
    const Case cases[] = {
        {"the device as seen", false, {readFailed}},
        {"the device's byte 1 changed", true, {readFailed, {"EEPROM verification error", "ERROR"}}},
    };
    for (const auto& c : cases) {
        eeprom::Image device = sim::Format2Image();
        auto adapter = SeenEncoder(device);
        const auto edited = DeviceModel.ConfigBlock;
        if (c.deviceByteChanged) adapter->memory()[1] ^= 0x01;
        device = adapter->memory();
        adapter->UnplugAfter(4 + 16);

        form->BtnProgClick();

        const eeprom::Image written = ExpectedImage(device, edited);
        EXPECT_EQ(adapter->Frames(), ProgrammingFrames(written)) << c.what;
        EXPECT_EQ(adapter->memory(), written) << c.what;
        EXPECT_EQ(host.messages(), c.messages) << c.what;
        EXPECT_EQ(AsBytes(DeviceModel.ConfigBlock), ImageBytes(written, 0, 16)) << c.what;
        EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled()) << c.what;
        EXPECT_TRUE(form->Timer1->isActive()) << c.what;
        form.reset();
    }
}

TEST_F(ProgramCommandTest, ReadsRepairAfterTheWriteIsNoVerificationError)
{
    // An unnamed record made today: once PROG stamps today as its last change, the READ that
    // reads it back names it and writes its record, as READ does; PROG compares what it wrote
    // with the record as it came back, before that repair.
    sim::ProductRecordSpec spec;
    spec.name = std::string(4, '\0');
    spec.manufactured = DateFromDayNumber(kToday);
    spec.lastChanged = DateFromDayNumber(kToday - 30);
    const eeprom::Image device = sim::Format2Image(spec);
    auto adapter = SeenEncoder(device);
    form->BtnReadClick();  // the dates differ: no repair yet
    auto* resolution = Get<QComboBox>("CmbBoxRes");
    Pick(resolution, resolution->findText(QString::fromUtf8("2D0 (2000)= 1 \u00B5m")));
    ASSERT_EQ(DeviceModel.ConfigBlock[0] & 0x1F, 0x10);
    const auto edited = DeviceModel.ConfigBlock;
    adapter->ClearLog();

    form->BtnProgClick();

    const eeprom::Image written = ExpectedImage(device, edited);
    eeprom::Image named = written;
    std::copy_n("HXD3", 4, named.begin() + 73);
    named[93] = SumChecksum(std::span(named).subspan(72, 21));
    std::vector<Bytes> frames = ProgrammingFrames(written);
    for (const int address : {72, 80, 88}) {
        const int count = address == 88 ? 6 : 8;
        Bytes frame = {0x55, 0xA0, static_cast<uint8_t>(address), static_cast<uint8_t>(count)};
        frame.insert(frame.end(), named.begin() + address, named.begin() + address + count);
        frames.push_back(frame);
    }
    frames.push_back({0x55, 0xA1, 72, 22});
    EXPECT_EQ(adapter->Frames(), frames);
    EXPECT_EQ(adapter->memory(), named);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled());
}

TEST_F(ProgramCommandTest, WithoutAdapterNothingIsSent)
{
    host.ListPort("COM1");
    MakeForm();
    DeviceModel.WatchIdle = true;
    form->BtnProgClick();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"No programming device", "ERROR"}}));
    EXPECT_FALSE(Get<QPushButton>("BtnProg")->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(ProgramCommandTest, AFailedFreshReadRestoresTheEdits)
{
    auto adapter = SeenEncoder(sim::Format2Image());
    Pick(Get<QComboBox>("CmbBoxRes"), 0);
    const auto edited = DeviceModel.ConfigBlock;
    adapter->options().shortReadBy = 1;
    form->BtnProgClick();
    EXPECT_EQ(host.messages(),
              (std::vector<Message>{{"False communication with EEPROM", "ERROR"}, {"EEPROM read error", "ERROR"}}));
    EXPECT_EQ(DeviceModel.ConfigBlock, edited);
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
}

}  // namespace
