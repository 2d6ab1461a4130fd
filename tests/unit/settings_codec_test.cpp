// The settings codec without a window: which rows the lists hold and select, and what a pick
// writes into ConfigBlock.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "commands/settings_codec.h"
#include "support/link_fixture.h"

using namespace commands;

namespace {

class SettingsCodecTest : public LinkTest {
protected:
    static void SetEdge(uint8_t byte5, uint8_t byte4)
    {
        DeviceModel.ConfigBlock[5] = byte5;
        DeviceModel.ConfigBlock[4] = byte4;
    }
};

TEST_F(SettingsCodecTest, EdgeTableAndSelectedRowFromTheStoredValue)
{
    struct Case {
        uint8_t byte5, byte4, table;
        int row;
    };
    const Case cases[] = {
        {0x43, 4, 1, 0}, {0xC3, 4, 1, 0}, {0xC1, 4, 1, 1},  {0x00, 4, 1, -1},  {0x80, 4, 1, -1},
        {0x00, 5, 2, 3}, {0x43, 5, 2, 2}, {0x00, 0, 0, -1}, {0x00, 255, 1, 8}, {0x00, 224, 2, 9},
    };
    for (const Case& c : cases) {
        SetEdge(c.byte5, c.byte4);
        EXPECT_EQ(PlanSettingLists().edgeTableId, c.table) << int(c.byte5) << "/" << int(c.byte4);
        EXPECT_EQ(DeviceModel.EdgeTableId, c.table);
        EXPECT_EQ(RowsOfSettings().edgeSeparation, c.row) << int(c.byte5) << "/" << int(c.byte4);
    }
}

TEST_F(SettingsCodecTest, FamilyFromTheFlagsWithFamilyBWinning)
{
    EXPECT_EQ(PlanSettingLists().family, ProductFamily::None);
    for (const ProductModel model : {KV21, KV24, HXD3}) {
        DeviceModel.ProductFamilyFlags.fill(0);
        DeviceModel.ProductFamilyFlags[model] = 1;
        EXPECT_EQ(FamilyOfFlags(), ProductFamily::A) << model;
    }
    DeviceModel.ProductFamilyFlags[HXD6] = 1;
    EXPECT_EQ(FamilyOfFlags(), ProductFamily::B);
    DeviceModel.ProductFamilyFlags.fill(0);
    DeviceModel.ProductFamilyFlags[KV26] = 2;  // a flag counts only when it is 1
    EXPECT_EQ(FamilyOfFlags(), ProductFamily::None);
    EXPECT_STREQ(DirectionRows(ProductFamily::B)[0], "Positive");
    EXPECT_STREQ(DirectionRows(ProductFamily::A)[0], "Negative");
}

TEST_F(SettingsCodecTest, PicksWriteOnlyTheirFieldBits)
{
    DeviceModel.ConfigBlock[0] = 0xE0;
    PickResolutionRow(14);
    EXPECT_EQ(DeviceModel.ConfigBlock[0], 0xE0 | 0x1C);

    SetEdge(0xC3, 4);
    PlanSettingLists();
    PickEdgeSeparationRow(5);
    EXPECT_EQ(DeviceModel.ConfigBlock[5], 0x80);
    EXPECT_EQ(DeviceModel.ConfigBlock[4], 50);

    DeviceModel.ConfigBlock[2] = 0xDF;
    PickDirectionRow(1);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0xFF);
    PickDirectionRow(0);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0xDF);

    // Out-of-range rows, and any edge pick without a table, write nothing.
    const auto before = DeviceModel.ConfigBlock;
    PickResolutionRow(-1);
    PickResolutionRow(25);
    PickDirectionRow(2);
    PickEdgeSeparationRow(9);  // the first table has nine rows
    SetEdge(0x00, 0);
    PlanSettingLists();
    PickEdgeSeparationRow(0);
    EXPECT_EQ(DeviceModel.ConfigBlock[0], before[0]);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], before[2]);
    EXPECT_EQ(DeviceModel.ConfigBlock[4], 0);
    EXPECT_EQ(DeviceModel.ConfigBlock[5], 0);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(SettingsCodecTest, CoarsestResolutionsWarnBeforeWriting)
{
    PickResolutionRow(23);
    PickResolutionRow(24);
    const std::string tail =
        "\r\n* Reference mark will not work\r\n* Edge Separation of 0.12 \u00B5s is not recommended";
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"If 04B resolution is selected than:" + tail, "Warning!"},
                                                     {"If 03B resolution is selected than:" + tail, "Warning!"}}));
    EXPECT_EQ(DeviceModel.ConfigBlock[0] & 0x1F, 0x0D);
}

TEST_F(SettingsCodecTest, SettersByMeaningWriteWhatTheFamilyAndTheStoredTableSay)
{
    // The direction bit counts the other way in family B.
    DeviceModel.ConfigBlock[2] = 0x00;
    DeviceModel.ProductFamilyFlags[KV24] = 1;
    SetDirection(Direction::Positive);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0x20);
    DeviceModel.ProductFamilyFlags[KV26] = 1;  // family B wins
    SetDirection(Direction::Positive);
    EXPECT_EQ(DeviceModel.ConfigBlock[2], 0x00);

    // 0.12 µs is another row, and another value, in each table; the stored value picks the table.
    struct Case {
        uint8_t byte5, byte4;
        int nanoseconds;
        bool written;
        uint8_t newByte5, newByte4;
    };
    const Case cases[] = {
        {0x80, 10, 120, true, 0xC3, 4},   // table 1; the device's bit 7 stays
        {0x00, 11, 120, true, 0x43, 5},   // table 2
        {0x00, 10, 70, false, 0x00, 10},  // 0.07 µs is only in table 2
        {0x00, 0, 1000, false, 0x00, 0},  // neither table
    };
    for (const Case& c : cases) {
        SetEdge(c.byte5, c.byte4);
        EXPECT_EQ(SetEdgeSeparationNanoseconds(c.nanoseconds), c.written) << c.nanoseconds;
        EXPECT_EQ(DeviceModel.ConfigBlock[5], c.newByte5) << c.nanoseconds;
        EXPECT_EQ(DeviceModel.ConfigBlock[4], c.newByte4) << c.nanoseconds;
    }
}

TEST(SettingsTables, EveryRowsTextSaysWhatItsDataMeans)
{
    // The options and reports take the meaning from the data, the lists show the texts: they must agree.
    for (const ResolutionRow& row : kResolutionRows) {
        EXPECT_EQ(std::string(row.textA).rfind(std::string(row.designation) + " (", 0), 0u) << row.textA;
        EXPECT_EQ(std::string(row.textB).rfind(std::string(row.designation) + " (", 0), 0u) << row.textB;
        EXPECT_EQ(ResolutionRowOfCode(row.code), &row - kResolutionRows.data());
    }
    for (const uint8_t table : {1, 2}) {
        std::set<int> seen;
        for (const EdgeSeparationRow& row : EdgeTable(table)) {
            EXPECT_EQ(std::lround(std::stod(row.text) * 1000), row.nanoseconds) << row.text;
            EXPECT_TRUE(seen.insert(row.nanoseconds).second) << row.text;
            EXPECT_EQ(EdgeTableIdOf(row.Value()), table) << row.text;
        }
    }
    EXPECT_EQ(EdgeTableIdOf(4), 1);  // the older setting of the first table, without a row
    for (const ProductFamily family : {ProductFamily::None, ProductFamily::A, ProductFamily::B})
        for (const bool bit : {false, true})
            EXPECT_EQ(DirectionBit(DirectionOfBit(bit, family), family), bit);
}

TEST(SettingsTables, ResolutionsNamedByDesignationOrWholeRowText)
{
    const auto d50 = ResolutionRowNamed("d50");
    ASSERT_TRUE(d50);
    EXPECT_EQ(kResolutionRows[d50->row].code, 0x14);
    EXPECT_EQ(d50->family, ProductFamily::None);
    const auto rowB = ResolutionRowNamed("07B (128)= 30.0625 UM");
    ASSERT_TRUE(rowB);
    EXPECT_EQ(rowB->family, ProductFamily::B);
    EXPECT_FALSE(ResolutionRowNamed("D50 "));
}

}  // namespace
