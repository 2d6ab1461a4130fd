#include <gtest/gtest.h>

#include <QTest>

#include "commands/settings_tables.h"
#include "gui/form_fixture.h"

using namespace commands;

namespace {

using SettingsListsTest = FormTest;

const QString kMicro = QString::fromUtf8("\u00B5");

TEST_F(SettingsListsTest, StartRowsWithNothingSelected)
{
    MakeForm();
    const auto* resolution = Get<QComboBox>("CmbBoxRes");
    ASSERT_EQ(resolution->count(), 25);
    EXPECT_EQ(resolution->itemText(3), "2D0 (2000)= 1 " + kMicro + "m");
    EXPECT_EQ(resolution->itemText(24), "03B (8)= 250 " + kMicro + "m");
    EXPECT_EQ(resolution->maxVisibleItems(), 32);
    EXPECT_EQ(Rows(Get<QComboBox>("CmbBoxFCTR")).size(), 9);
    EXPECT_EQ(Get<QComboBox>("CmbBoxFCTR")->maxVisibleItems(), 12);
    EXPECT_EQ(Rows(Get<QComboBox>("CmbBoxDir")), (QStringList{"Negative", "Positive"}));
    EXPECT_EQ(Get<QComboBox>("CmbBoxDir")->maxVisibleItems(), 8);
    for (const char* name : {"CmbBoxRes", "CmbBoxFCTR", "CmbBoxDir"})
        EXPECT_EQ(Get<QComboBox>(name)->currentIndex(), -1);
}

TEST_F(SettingsListsTest, EdgeSeparationTableAndRowFollowTheStoredValue)
{
    struct Case {
        uint8_t byte5;
        uint8_t byte4;
        uint8_t tableId;
        int rows;
        int selected;
    };
    const Case cases[] = {
        {0x43, 4, 1, 9, 0},  {0xC3, 4, 1, 9, 0},    {0xC1, 4, 1, 9, 1},  {0x00, 4, 1, 9, -1},
        {0x80, 4, 1, 9, -1}, {0x00, 255, 1, 9, 8},  {0x00, 5, 2, 10, 3}, {0x43, 5, 2, 10, 2},
        {0x43, 2, 2, 10, 0}, {0x00, 224, 2, 10, 9}, {0x00, 0, 0, 0, -1}, {0x41, 5, 0, 0, -1},
    };
    MakeForm();
    DeviceModel.ProductFamilyFlags[KV24] = 1;
    for (const auto& c : cases) {
        DeviceModel.ConfigBlock[5] = c.byte5;
        DeviceModel.ConfigBlock[4] = c.byte4;
        form->FillSettingLists();
        EXPECT_EQ(Get<QComboBox>("CmbBoxFCTR")->currentIndex(), -1);
        form->ShowSettings();
        const auto* list = Get<QComboBox>("CmbBoxFCTR");
        EXPECT_EQ(DeviceModel.EdgeTableId, c.tableId) << int{c.byte5} << "/" << int{c.byte4};
        EXPECT_EQ(list->count(), c.rows) << int{c.byte5} << "/" << int{c.byte4};
        EXPECT_EQ(list->currentIndex(), c.selected) << int{c.byte5} << "/" << int{c.byte4};
    }
}

TEST_F(SettingsListsTest, ResolutionAndDirectionFollowCodesAndFamily)
{
    struct Case {
        ProductModel model;
        uint8_t byte0;
        uint8_t byte2;
        int resolutionRow;
        QStringList directions;
        QString direction;
    };
    const Case cases[] = {
        {KV24, 0xEC, 0x00, 23, {"Negative", "Positive"}, "Negative"},
        {HXD3, 0x10, 0x20, 3, {"Negative", "Positive"}, "Positive"},
        {KV26, 0x17, 0x00, -1, {"Positive", "Negative"}, "Positive"},
        {HXD6, 0x00, 0xFF, -1, {"Positive", "Negative"}, "Negative"},
        {KV21, 0x1F, 0xDF, -1, {"Negative", "Positive"}, "Negative"},
    };
    MakeForm();
    for (const auto& c : cases) {
        DeviceModel.ProductFamilyFlags = {};
        DeviceModel.ProductFamilyFlags[c.model] = 1;
        DeviceModel.ConfigBlock[0] = c.byte0;
        DeviceModel.ConfigBlock[2] = c.byte2;
        const auto before = DeviceModel.ConfigBlock;
        form->FillSettingLists();
        form->ShowSettings();
        EXPECT_EQ(Get<QComboBox>("CmbBoxRes")->currentIndex(), c.resolutionRow) << c.model;
        EXPECT_EQ(Rows(Get<QComboBox>("CmbBoxDir")), c.directions) << c.model;
        EXPECT_EQ(Get<QComboBox>("CmbBoxDir")->currentText(), c.direction) << c.model;
        EXPECT_EQ(DeviceModel.ConfigBlock, before);  // showing writes nothing
    }
    EXPECT_TRUE(host.messages().empty());  // nor warns, even for row 23
}

TEST_F(SettingsListsTest, ListsWithoutFlagStayBothFamiliesGiveB)
{
    MakeForm();
    auto* resolution = Get<QComboBox>("CmbBoxRes");
    resolution->setCurrentIndex(7);
    form->FillSettingLists();
    EXPECT_EQ(resolution->currentIndex(), 7);
    EXPECT_EQ(resolution->itemText(0), "13B (8192)= 0.2441 " + kMicro + "m");

    DeviceModel.ProductFamilyFlags[KV24] = 1;
    DeviceModel.ProductFamilyFlags[HXD6] = 1;
    form->FillSettingLists();
    EXPECT_EQ(resolution->itemText(0), "13B (8192)= 0.6103 " + kMicro + "m");
    EXPECT_EQ(resolution->currentIndex(), -1);
    EXPECT_EQ(Rows(Get<QComboBox>("CmbBoxDir")), (QStringList{"Positive", "Negative"}));
}

TEST_F(SettingsListsTest, PicksWriteTheirFieldsAndKeepTheDevicesBits)
{
    MakeForm();
    DeviceModel.ProductFamilyFlags[KV24] = 1;
    DeviceModel.ConfigBlock[0] = 0xE4;
    DeviceModel.ConfigBlock[2] = 0x45;
    DeviceModel.ConfigBlock[4] = 4;
    DeviceModel.ConfigBlock[5] = 0xC3;
    form->FillSettingLists();
    form->ShowSettings();

    Pick(Get<QComboBox>("CmbBoxFCTR"), 5);  // "5 µs (0.20 MHz)"
    EXPECT_EQ(DeviceModel.ConfigBlock[5], 0x80);
    EXPECT_EQ(DeviceModel.ConfigBlock[4], 50);
    Pick(Get<QComboBox>("CmbBoxRes"), 14);  // "D20 (200)= 10 µm"
    EXPECT_EQ(DeviceModel.ConfigBlock[0], 0xFC);
    Pick(Get<QComboBox>("CmbBoxDir"), 1);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0x65);
    Pick(Get<QComboBox>("CmbBoxDir"), 0);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0x45);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(DeviceModel.ConfigBlock[15], 0);  // the CRC is PROG's business
}

TEST_F(SettingsListsTest, KeyboardPicksRunTheHandler)
{
    MakeForm();
    auto* direction = Get<QComboBox>("CmbBoxDir");
    direction->setCurrentIndex(0);
    QTest::keyClick(direction, Qt::Key_Down);
    EXPECT_EQ(DeviceModel.ConfigBlock[2] & 0x20, 0x20);
}

TEST_F(SettingsListsTest, EdgePickWithoutTableWritesNothing)
{
    MakeForm();  // EdgeTableId is 0 until the first fill, though the start rows are there
    DeviceModel.ConfigBlock[4] = 0x12;
    DeviceModel.ConfigBlock[5] = 0x34;
    Pick(Get<QComboBox>("CmbBoxFCTR"), 2);
    EXPECT_EQ(DeviceModel.ConfigBlock[4], 0x12);
    EXPECT_EQ(DeviceModel.ConfigBlock[5], 0x34);
}

TEST_F(SettingsListsTest, CoarsestResolutionsWarnFirst)
{
    struct Case {
        int row;
        uint8_t code;
        const char* firstLine;
    };
    const Case cases[] = {{23, 0x0C, "If 04B resolution is selected than:"},
                          {24, 0x0D, "If 03B resolution is selected than:"}};
    MakeForm();
    for (const auto& c : cases) {
        host.ClearMessages();
        DeviceModel.ConfigBlock[0] = 0xA3;
        Pick(Get<QComboBox>("CmbBoxRes"), c.row);
        const std::string text =
            std::string(c.firstLine) +
            "\r\n* Reference mark will not work\r\n* Edge Separation of 0.12 \u00B5s is not recommended";
        EXPECT_EQ(host.messages(), (std::vector<Message>{{text, "Warning!"}}));
        EXPECT_EQ(DeviceModel.ConfigBlock[0], 0xA0 | c.code);
    }
}

}  // namespace
