// READ's device rules without a window: the refresh and the blank-record repair.
#include <gtest/gtest.h>

#include "commands/read_command.h"
#include "support/link_fixture.h"

using namespace commands;

namespace {

using sim::RequestKind;

class RefreshTest : public LinkTest {};

TEST_F(RefreshTest, BlankRecordIsNamedByItsResolutionCodeAndWritten)
{
    struct Case {
        uint8_t code;
        const char* name;  // nullptr: stays empty
        int flag;
    };
    const Case cases[] = {{0x10, "HXD3", HXD3}, {0x12, "HXD6", HXD6}, {0x05, nullptr, -1}, {0x11, nullptr, -1}};
    for (const Case& c : cases) {
        ResetProgramState();
        auto adapter = OpenAdapter(sim::BlankImage(0xFF, sim::MakeConfigBlock(c.code, false, 10)));
        EXPECT_TRUE(RefreshDeviceModel(nullptr));
        const Bytes name = c.name ? TextBytes(c.name) : Bytes(4, 0);
        EXPECT_EQ(AsBytes(DeviceModel.ProductName), name) << int(c.code);
        for (int model = 0; model < kProductModelCount; ++model)
            EXPECT_EQ(DeviceModel.ProductFamilyFlags[model], model == c.flag ? 1 : 0) << int(c.code);
        // Written as an empty-dated format-2 record, named or not, and verified.
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 3u) << int(c.code);
        EXPECT_EQ(adapter->memory()[72], 2) << int(c.code);
        EXPECT_EQ(ImageBytes(adapter->memory(), 73, 4), name) << int(c.code);
        EXPECT_TRUE(host.messages().empty()) << int(c.code);
    }
}

TEST_F(RefreshTest, RecordWithANameOrDifferentDatesIsLeftAlone)
{
    sim::ProductRecordSpec differentDates;
    differentDates.name = std::string(4, '\0');
    differentDates.lastChanged = {2020, 5, 1};
    for (const eeprom::Image& image : {sim::Format2Image(), sim::Format2Image(differentDates)}) {
        ResetProgramState();
        auto adapter = OpenAdapter(image);
        EXPECT_TRUE(RefreshDeviceModel(nullptr));
        EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
    }
}

TEST_F(RefreshTest, DatesCompareAsTheUserSeesThem)
{
    // Two different days that the short date format shows alike count as equal.
    host.SetShortDateFormatter([](int32_t) { return std::string("same"); });
    sim::ProductRecordSpec spec;
    spec.name = std::string(4, '\0');
    spec.lastChanged = {2020, 5, 1};
    auto adapter = OpenAdapter(sim::Format2Image(spec, sim::MakeConfigBlock(0x12, false, 10)));
    EXPECT_TRUE(RefreshDeviceModel(nullptr));
    EXPECT_EQ(AsBytes(DeviceModel.ProductName), TextBytes("HXD6"));
}

TEST_F(RefreshTest, FailedReadLeavesTheModelAndWritesNothing)
{
    sim::AdapterOptions shortAnswers;
    shortAnswers.shortReadBy = 2;
    auto adapter = OpenAdapter(sim::BlankImage(), shortAnswers);
    const DeviceModelState before = DeviceModel;
    EXPECT_FALSE(RefreshDeviceModel(nullptr));
    EXPECT_EQ(DeviceModel.ConfigBlock, before.ConfigBlock);
    EXPECT_EQ(DeviceModel.ProductName, before.ProductName);
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM", "ERROR"}}));
}

}  // namespace
