// An image decoded into the encoder's values: each record format, the settings' raw fields and
// whether each checksum holds.
#include <gtest/gtest.h>

#include "link/encoder_decode.h"
#include "sim/encoder_images.h"

namespace {

std::array<uint8_t, 4> Name(const char* text)
{
    return {uint8_t(text[0]), uint8_t(text[1]), uint8_t(text[2]), uint8_t(text[3])};
}

std::array<uint8_t, 6> Serial(const char* text)
{
    std::array<uint8_t, 6> serial{};
    std::copy_n(text, 6, serial.begin());
    return serial;
}

TEST(DecodeTest, EachRecordFormatInTheLayoutThatIsWritten)
{
    const sim::ProductRecordSpec spec{"KV26", "CD0042", {2020, 3, 4}, {2021, 5, 6}, {0xAB, 0xCD}};
    struct Case {
        const char* what;
        eeprom::Image image;
        uint8_t format;
        std::array<uint8_t, 4> name;
        std::array<uint8_t, 6> serial;
        bool recordChecksumOk;
    };
    const Case cases[] = {
        {"format 2", sim::Format2Image(spec), 2, Name("KV26"), Serial("CD0042"), true},
        // The counter's first four decimal digits: 12345 becomes "1234".
        {"format 1", sim::Format1Image(spec, 12345), 1, Name("KV26"), Serial("CD1234"), true},
        {"erased", sim::BlankImage(0xFF), 0xFF, {}, {}, false},
    };
    for (const Case& c : cases) {
        const DecodedEncoder encoder = Decode(c.image);
        EXPECT_EQ(encoder.format, c.format) << c.what;
        EXPECT_EQ(encoder.record.productName, c.name) << c.what;
        EXPECT_EQ(encoder.record.serialNumber, c.serial) << c.what;
        EXPECT_EQ(encoder.recordChecksumOk, c.recordChecksumOk) << c.what;
        EXPECT_TRUE(encoder.configCrcOk) << c.what;
        if (c.format == 0xFF) continue;
        EXPECT_EQ(encoder.record.carriedBytes, (std::array<uint8_t, 2>{0xAB, 0xCD})) << c.what;
        EXPECT_EQ(DayNumberFromBytes(encoder.record.manufactured), DayNumberFromDate({2020, 3, 4})) << c.what;
        EXPECT_EQ(DayNumberFromBytes(encoder.record.lastChanged), DayNumberFromDate({2021, 5, 6})) << c.what;
        // What the record sums to with its checksum, in format 2.
        const auto body = Format2RecordBody(encoder.record);
        EXPECT_EQ(body[0], 2) << c.what;
        EXPECT_TRUE(std::equal(c.name.begin(), c.name.end(), body.begin() + 1)) << c.what;
    }
}

TEST(DecodeTest, SettingsFieldsKeepOnlyTheirBitsAndABrokenByteFailsItsChecksum)
{
    eeprom::Image image = sim::Format2Image({}, sim::MakeConfigBlock(0x14, true, 0x0123));
    image[0] |= 0xE0;  // bits of the device's own around each field
    image[5] |= 0x80;
    const DecodedEncoder encoder = Decode(image);
    EXPECT_EQ(encoder.settings.resolutionCode, 0x14);
    EXPECT_EQ(encoder.settings.edgeSeparationValue, 0x0123);
    EXPECT_TRUE(encoder.settings.directionBit);
    EXPECT_FALSE(encoder.configCrcOk);  // those bits were not in the CRC
    EXPECT_TRUE(encoder.recordChecksumOk);

    image = sim::Format2Image();
    image[80] ^= 0x01;
    EXPECT_TRUE(Decode(image).configCrcOk);
    EXPECT_FALSE(Decode(image).recordChecksumOk);
}

}  // namespace
