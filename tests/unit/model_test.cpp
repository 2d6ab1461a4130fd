#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace {

struct DayCase {
    CivilDate date;
    int32_t day;
    DayBytes bytes;
};

TEST(DayNumber, DatesAndStoredBytes)
{
    const DayCase cases[] = {
        {{1899, 12, 30}, 0, {0, 0, 0, 0}},
        {{1899, 12, 29}, -1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {{1900, 1, 1}, 2, {0, 0, 0, 2}},
        {{1900, 3, 1}, 61, {0, 0, 0, 61}},  // 1900 was no leap year
        {{2000, 2, 29}, 36585, {0, 0, 0x8E, 0xE9}},
        {{2014, 1, 8}, 41647, {0x00, 0x00, 0xA2, 0xAF}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DayNumberFromDate(c.date), c.day) << c.day;
        EXPECT_EQ(DateFromDayNumber(c.day), c.date) << c.day;
        EXPECT_EQ(DayNumberToBytes(c.day), c.bytes) << c.day;
        EXPECT_EQ(DayNumberFromBytes(c.bytes), c.day) << c.day;
    }
}

TEST(DeviceModel, StartValues)
{
    const DeviceModelState model;
    EXPECT_EQ(TextBytes("QF27T4NE"), AsBytes(model.DeviceTag));
    EXPECT_EQ(Bytes(16, 0), AsBytes(model.ConfigBlock));
    EXPECT_FALSE(model.WatchIdle);
    EXPECT_EQ(model.EdgeTableId, 0);
}

TEST(ClearDeviceModel, ClearsFlagsAndRecordFieldsOnly)
{
    DeviceModel.ProductFamilyFlags = {1, 1, 0, 1, 0};
    DeviceModel.ProductName = {'K', 'V', '2', '4'};
    DeviceModel.CarriedBytes = {1, 2};
    DeviceModel.SerialNumber = {'A', 'B', '1', '2', '3', '4'};
    DeviceModel.ManufacturedDate = {0, 0, 0xA2, 0xAF};
    DeviceModel.LastChangedDate = {0, 0, 0xA2, 0xB0};
    DeviceModel.FormatVersion = 2;
    DeviceModel.RecordChecksum = 0x5C;
    DeviceModel.ConfigBlock.fill(0x33);
    DeviceModel.DeviceTag.fill('T');
    DeviceModel.EdgeTableId = 2;

    ClearDeviceModel();

    EXPECT_EQ(Bytes(5, 0), AsBytes(DeviceModel.ProductFamilyFlags));
    EXPECT_EQ(Bytes(4, 0), AsBytes(DeviceModel.ProductName));
    EXPECT_EQ(Bytes(2, 0), AsBytes(DeviceModel.CarriedBytes));
    EXPECT_EQ(Bytes(6, 0), AsBytes(DeviceModel.SerialNumber));
    EXPECT_EQ(Bytes(4, 0), AsBytes(DeviceModel.ManufacturedDate));
    EXPECT_EQ(Bytes(4, 0), AsBytes(DeviceModel.LastChangedDate));
    EXPECT_EQ(DeviceModel.FormatVersion, 2);
    EXPECT_EQ(DeviceModel.RecordChecksum, 0x5C);
    EXPECT_EQ(Bytes(16, 0x33), AsBytes(DeviceModel.ConfigBlock));
    EXPECT_EQ(Bytes(8, 'T'), AsBytes(DeviceModel.DeviceTag));
    EXPECT_EQ(DeviceModel.EdgeTableId, 2);
    DeviceModel = DeviceModelState{};
}

}  // namespace
