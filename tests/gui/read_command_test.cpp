#include <gtest/gtest.h>

#include "gui/form_fixture.h"

namespace {

using ReadCommandTest = FormTest;
using sim::RequestKind;

Bytes WrittenRecord(const sim::AdapterEmulator& adapter)
{
    return ImageBytes(adapter.memory(), 72, 22);
}

TEST_F(ReadCommandTest, BlankRecordWithCode0x10IsNamedHXD3AndWritten)
{
    auto adapter = OpenAdapter(sim::BlankImage(0xFF, sim::MakeConfigBlock(0x10, false, 10)));
    MakeForm();
    DeviceModel.WatchIdle = true;
    adapter->ClearLog();
    form->BtnReadClick();

    Bytes expected = {2, 'H', 'X', 'D', '3'};
    expected.resize(21, 0);
    expected.push_back(SumChecksum(expected));
    EXPECT_EQ(WrittenRecord(*adapter), expected);
    EXPECT_EQ(DeviceModel.ProductFamilyFlags[HXD3], 1);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 3u);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromRead).back(), (Bytes{0x55, 0xA1, 72, 22}));
    EXPECT_TRUE(host.messages().empty());
    // The lists are filled for the family the name gives.
    EXPECT_EQ(Get<QComboBox>("CmbBoxRes")->currentIndex(), 3);
    EXPECT_TRUE(Get<QPushButton>("BtnRead")->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(ReadCommandTest, BlankRecordRepairDependsOnCodeAndDates)
{
    struct Case {
        const char* what;
        eeprom::Image image;
        const char* name;  // nullptr: nothing written
        uint8_t flag;
    };
    sim::ProductRecordSpec sameDay;
    sameDay.name = std::string(4, '\0');
    sameDay.manufactured = sameDay.lastChanged = {2020, 2, 2};
    sim::ProductRecordSpec laterChange = sameDay;
    laterChange.lastChanged = {2020, 2, 3};
    const Case cases[] = {
        {"erased, code 0x12", sim::BlankImage(0xFF, sim::MakeConfigBlock(0x12, false, 10)), "HXD6", HXD6},
        {"erased, code 0x05", sim::BlankImage(0x00, sim::MakeConfigBlock(0x05, false, 10)), "\0\0\0\0", 0xFF},
        {"empty name, same day", sim::Format2Image(sameDay, sim::MakeConfigBlock(0x10, false, 10)), "HXD3", HXD3},
        {"empty name, later change", sim::Format2Image(laterChange, sim::MakeConfigBlock(0x10, false, 10)), nullptr,
         0xFF},
        {"named record", sim::Format2Image(), nullptr, 0xFF},
    };
    for (const auto& c : cases) {
        DeviceModel.ProductFamilyFlags = {};
        auto adapter = OpenAdapter(c.image);
        MakeForm();
        DeviceModel.WatchIdle = true;
        adapter->ClearLog();
        form->BtnReadClick();
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), c.name ? 3u : 0u) << c.what;
        if (c.name) {
            EXPECT_EQ(ImageBytes(adapter->memory(), 73, 4), Bytes(c.name, c.name + 4)) << c.what;
        }
        for (int model = 0; model < kProductModelCount; ++model)
            EXPECT_EQ(DeviceModel.ProductFamilyFlags[model], model == c.flag ? 1 : 0) << c.what;
        form.reset();
    }
}

TEST_F(ReadCommandTest, DatesThatLookTheSameCountAsEqual)
{
    sim::ProductRecordSpec spec;
    spec.name = std::string(4, '\0');
    spec.manufactured = {2020, 2, 2};
    spec.lastChanged = {2021, 2, 2};
    auto adapter = OpenAdapter(sim::Format2Image(spec, sim::MakeConfigBlock(0x10, false, 10)));
    MakeForm();
    DeviceModel.WatchIdle = true;
    host.SetShortDateFormatter([](int32_t day) {  // a short format without the year
        const CivilDate date = DateFromDayNumber(day);
        return std::to_string(date.day) + "." + std::to_string(date.month) + ".";
    });
    form->BtnReadClick();
    EXPECT_EQ(ImageBytes(adapter->memory(), 73, 4), TextBytes("HXD3"));
}

TEST_F(ReadCommandTest, FailedReadLeavesTheListsAndEnablesRead)
{
    sim::AdapterOptions options;
    options.shortReadBy = 1;
    OpenAdapter(sim::Format2Image(), options);
    MakeForm();
    DeviceModel.WatchIdle = true;
    Get<QComboBox>("CmbBoxRes")->setCurrentIndex(9);
    form->Timer1->stop();
    form->BtnReadClick();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM", "ERROR"}}));
    EXPECT_EQ(Get<QComboBox>("CmbBoxRes")->currentIndex(), 9);
    EXPECT_TRUE(Get<QPushButton>("BtnRead")->isEnabled());
    EXPECT_FALSE(form->Timer1->isActive());  // given back as it was found
}

TEST_F(ReadCommandTest, BeforeTheFirstTickReadWaitsFiveSeconds)
{
    OpenAdapter();
    MakeForm();
    const uint64_t start = host.NowMicros();
    form->BtnReadClick();
    EXPECT_GE(ElapsedMsSince(start), 5000u);
    EXPECT_LT(ElapsedMsSince(start), 5200u);
}

}  // namespace
