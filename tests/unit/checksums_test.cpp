#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace {

struct TextCase {
    std::u16string text;
    int32_t start;
    uint8_t crc;
};

TEST(Crc8OfText, WorkedExamplesAndEdges)
{
    const TextCase cases[] = {
        {u"abc", 0, 0xF2},
        {u"123456789", 0, 0x96},
        {std::u16string{char16_t{0x0161}, u'b', u'c'}, 0, 0xF2},  // high byte of a character is inert
        {u"", 0, 0x00},
        {u"", 0x1AB, 0xAB},  // empty text: the start value's low byte
    };
    for (const auto& c : cases) EXPECT_EQ(Crc8OfText(c.text, kCrcPolynomial, c.start), c.crc) << c.crc;
}

TEST(CrcTable, HoldsTheCrcOfEachSingleByte)
{
    const uint32_t first[] = {0x00, 0x27, 0x4E, 0x69, 0x9C, 0xBB, 0xD2, 0xF5};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(CrcTable[i], first[i]) << i;
    EXPECT_EQ(CrcTable[0x80], 0xD7u);
    EXPECT_EQ(CrcTable[0xFF], 0x87u);
}

struct ConfigCase {
    Bytes block;  // 16 bytes; the last is where the CRC goes
    uint32_t count;
    uint8_t crc;
};

TEST(ComputeConfigCrc, WorkedExamplesNeverCoverTheLastByte)
{
    const Bytes zero(16, 0);
    const Bytes one = {0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x55};
    const Bytes settings = {0x10, 0, 0x20, 0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA};
    const ConfigCase cases[] = {
        {zero, 15, 0x00},     {one, 15, 0xDA},       {settings, 15, 0x78},
        {settings, 16, 0x78}, {settings, 255, 0x78},  // byte 15 stays out whatever the count
    };
    for (const auto& c : cases) EXPECT_EQ(ComputeConfigCrc(c.block, c.count, 0), c.crc) << c.count;
}

TEST(ComputeConfigCrc, AgreesWithTheBitwiseForm)
{
    Bytes block(16);
    for (int seed = 0; seed < 64; ++seed) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(seed * 37 + i * 101);
        const std::u16string text(block.begin(), block.begin() + 15);
        EXPECT_EQ(ComputeConfigCrc(block, 15, 0), Crc8OfText(text, kCrcPolynomial, 0)) << seed;
    }
}

TEST(SumChecksum, TwosComplementOfTheByteSum)
{
    EXPECT_EQ(SumChecksum(Bytes{1, 2, 3}), 0xFA);
    EXPECT_EQ(SumChecksum(Bytes{}), 0x00);
    EXPECT_EQ(SumChecksum(Bytes{0x80, 0x80}), 0x00);
    Bytes record = {0x02, 0x54, 0x45, 0x53, 0x54, 0xFF, 0xFF};
    record.push_back(SumChecksum(record));
    unsigned sum = 0;
    for (const uint8_t b : record) sum += b;
    EXPECT_EQ(sum % 256, 0u);
}

TEST(ComputeRecordChecksum, WorkedExample)
{
    DeviceModel.FormatVersion = 2;
    DeviceModel.ProductName = {0x54, 0x45, 0x53, 0x54};
    DeviceModel.CarriedBytes = {0, 0};
    DeviceModel.SerialNumber = {0x41, 0x42, 0x31, 0x32, 0x43, 0x44};
    DeviceModel.ManufacturedDate = {0x00, 0x00, 0xA2, 0xAF};
    DeviceModel.LastChangedDate = {0x00, 0x00, 0xA2, 0xAF};
    EXPECT_EQ(ComputeRecordChecksum(), 0xAF);
    DeviceModel = DeviceModelState{};
}

}  // namespace
