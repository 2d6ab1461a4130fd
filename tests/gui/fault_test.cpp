// Faults under load: the adapter pulled out in the middle of programming or of a memory read,
// a port that vanishes, strange port names, a listing that fails half-way, every presence answer.
#include <gtest/gtest.h>

#include "gui/form_fixture.h"

namespace {

using sim::AdapterOptions;
using sim::RequestKind;

constexpr int32_t kToday = 46000;

class FaultTest : public FormTest {
protected:
    FaultTest() { host.SetToday(kToday); }
};

TEST_F(FaultTest, AdapterPulledOutDuringEachProgrammingBlock)
{
    for (int block = 0; block < 16; ++block) {
        const eeprom::Image original = sim::Format2Image();
        auto adapter = SeenEncoder();
        Pick(Get<QComboBox>("CmbBoxRes"), 0);
        adapter->UnplugAfter(4 + block);  // the fresh read is answered, then `block` blocks
        const uint64_t start = host.NowMicros();

        form->BtnProgClick();

        EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port is not responding!", "ERROR"}})) << block;
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), static_cast<size_t>(block + 1)) << block;
        EXPECT_LT(ElapsedMsSince(start), 600u) << block;
        // Blocks before the pull are on the device; the one in flight and the rest are not.
        EXPECT_EQ(adapter->memory()[0] & 0x1F, block > 0 ? 0x03 : original[0] & 0x1F) << block;
        EXPECT_EQ(ImageBytes(adapter->memory(), block * 8 + 8 < 128 ? block * 8 + 8 : 120, 8),
                  ImageBytes(original, block * 8 + 8 < 128 ? block * 8 + 8 : 120, 8))
            << block;
        // The model holds what PROG merged and stamped.
        EXPECT_EQ(DeviceModel.ConfigBlock[0] & 0x1F, 0x03) << block;
        EXPECT_EQ(AsBytes(DeviceModel.LastChangedDate), AsBytes(DayNumberToBytes(kToday))) << block;
        EXPECT_EQ(DeviceModel.RecordChecksum, ComputeRecordChecksum()) << block;
        EXPECT_FALSE(Get<QPushButton>("BtnProg")->isEnabled());
        EXPECT_TRUE(form->Timer1->isActive());
        form.reset();
    }
}

TEST_F(FaultTest, PortVanishingDuringProgrammingIsNoAnswer)
{
    for (const int block : {0, 7, 15}) {
        auto adapter = SeenEncoder();
        // The port goes away with the block in flight: every later call on it fails, and the
        // last successful queue count (the previous status byte) is all the link still sees.
        adapter->OnFrame([&adapter, block](const sim::LoggedFrame& frame) {
            if (frame.kind == RequestKind::EepromWrite && frame.bytes[2] == block * 8)
                adapter->options().portVanished = true;
        });
        form->BtnProgClick();
        EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port is not responding!", "ERROR"}})) << block;
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), static_cast<size_t>(block + 1)) << block;
        form.reset();
    }
}

TEST_F(FaultTest, AdapterPulledOutDuringAMemoryReadLeavesTheModel)
{
    for (int answered = 0; answered < 4; ++answered) {
        auto adapter = SeenEncoder();
        const DeviceModelState before = DeviceModel;
        Get<QComboBox>("CmbBoxRes")->setCurrentIndex(9);
        adapter->UnplugAfter(answered);
        const uint64_t start = host.NowMicros();
        form->BtnReadClick();
        EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM", "ERROR"}})) << answered;
        EXPECT_EQ(DeviceModel.ConfigBlock, before.ConfigBlock);
        EXPECT_EQ(DeviceModel.SerialNumber, before.SerialNumber);
        EXPECT_EQ(DeviceModel.DeviceTag, before.DeviceTag);
        EXPECT_EQ(Get<QComboBox>("CmbBoxRes")->currentIndex(), 9);
        EXPECT_LE(ElapsedMsSince(start), 4u * 511u) << answered;
        form.reset();
    }
}

TEST_F(FaultTest, StrangePortNamesAreTriedAndPassedOver)
{
    const std::string longName(300, 'X');
    const std::string accented = "COM\xC3\xA9";  // COMé
    host.SetListing({{longName, "", accented, "COM7"}, false});
    auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image());
    ConnectAdapter("COM7", adapter);
    MakeForm();
    EXPECT_EQ(PortList, (std::vector<std::string>{"", "COM7", accented, longName}));
    EXPECT_EQ(host.openAttempts(), (std::vector<std::string>{"", "COM7"}));
    EXPECT_EQ(SerialChannel.portName, "COM7");
    for (const auto& name : {longName, accented, std::string()}) EXPECT_EQ(TryPort(name), -2);
}

TEST_F(FaultTest, AListingThatFailsHalfWayStillFindsTheAdapterBeforeTheFault)
{
    host.SetListing({{"COM9", "COM2"}, true});
    ConnectAdapter("COM2", std::make_shared<sim::AdapterEmulator>(sim::Format2Image()));
    MakeForm();
    EXPECT_EQ(SerialChannel.portName, "COM2");
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"Error", "COM PORT"}}));
    // Each later search shows it again: here a watch tick that lost the adapter.
    ClosePort();
    SerialChannel.portName.clear();
    host.ClearMessages();
    form->Timer1Timer();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"Error", "COM PORT"}}));
    EXPECT_EQ(Status(), "Programming device on COM2");
}

TEST_F(FaultTest, EveryPresenceAnswer)
{
    auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image());
    ConnectAdapter("COM1", adapter);
    for (int answer = 0; answer < 256; ++answer) {
        adapter->options().presenceAnswer = static_cast<uint8_t>(answer);
        EXPECT_EQ(TryPort("COM1"), answer >= 4 ? 0 : -1) << answer;
        OpenPort("COM1");
        EXPECT_EQ(PingAdapter(), answer) << answer;
        ClosePort();
        SerialChannel.portName.clear();
    }
    EXPECT_TRUE(host.messages().empty());
}

}  // namespace
