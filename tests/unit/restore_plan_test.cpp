// restore's decision without an adapter: which check an image fails, and whether it is the
// encoder's by the identity's bytes, with the fields that differ where the texts agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "commands/restore_plan.h"
#include "sim/encoder_images.h"

using namespace commands;

namespace {

sim::ProductRecordSpec Record(const char* name, const std::string& serial)
{
    sim::ProductRecordSpec spec;
    spec.name = name;
    spec.serial = serial;
    return spec;
}

std::vector<uint8_t> Bytes(const eeprom::Image& image)
{
    return {image.begin(), image.end()};
}

TEST(CheckImageToRestore, NamesTheFirstCheckThatFailsUnlessForced)
{
    eeprom::Image badCrc = sim::Format2Image();
    badCrc[eeprom::kConfigCrcByte] ^= 0xFF;
    eeprom::Image badChecksum = sim::Format2Image();
    badChecksum[eeprom::format2::kRecordChecksum] ^= 0xFF;
    eeprom::Image bothBroken = badCrc;
    bothBroken[eeprom::format2::kRecordChecksum] ^= 0xFF;

    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::optional<ImageFault> fault, forcedFault;
    };
    const Case cases[] = {
        {"sound", Bytes(sim::Format2Image()), std::nullopt, std::nullopt},
        {"127 bytes", std::vector<uint8_t>(127, 0), ImageFault::WrongSize, ImageFault::WrongSize},
        {"empty", {}, ImageFault::WrongSize, ImageFault::WrongSize},
        {"bad CRC", Bytes(badCrc), ImageFault::SettingsCrcBroken, std::nullopt},
        {"bad checksum", Bytes(badChecksum), ImageFault::RecordChecksumBroken, std::nullopt},
        {"both broken", Bytes(bothBroken), ImageFault::SettingsCrcBroken, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageToRestore checked = CheckImageToRestore(c.file, false);
        EXPECT_EQ(checked.fault, c.fault);
        EXPECT_EQ(checked.size, c.file.size());
        EXPECT_EQ(CheckImageToRestore(c.file, true).fault, c.forcedFault);
        if (c.file.size() == eeprom::kImageSize) {
            EXPECT_TRUE(std::equal(c.file.begin(), c.file.end(), checked.bytes.begin()));
        }
    }
}

TEST(PlanRestore, RefusesAnotherEncodersImageByItsBytes)
{
    const sim::ProductRecordSpec prefixCD = Record("KV24", "CD");
    struct Case {
        const char* what;
        eeprom::Image image, encoder;
        bool anotherEncoder, sameText;
        std::vector<IdentityField> differing;
    };
    const Case cases[] = {
        {"its own image", sim::Format2Image(), sim::Format2Image(), false, true, {}},
        {"another product and serial",
         sim::Format2Image(Record("KV26", "XY0001")),
         sim::Format2Image(),
         true,
         false,
         {}},
        {"serials that only look alike",
         sim::Format2Image(Record("KV24", "AB\n123")),
         sim::Format2Image(Record("KV24", "AB?123")),
         true,
         true,
         {IdentityField::Serial}},
        {"format-1 counters with the same four digits",
         sim::Format1Image(prefixCD, 12345),
         sim::Format1Image(prefixCD, 1234),
         true,
         true,
         {IdentityField::Format1Counter}},
        {"a format-1 image onto its encoder, now format 2",
         sim::Format1Image(prefixCD, 42),
         sim::Format2Image(Record("KV24", "CD0042")),
         false,
         true,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageToRestore image = CheckImageToRestore(Bytes(c.image), false);
        ASSERT_FALSE(image.fault);
        const RestorePlan plan = PlanRestore(c.encoder, image, false);
        EXPECT_EQ(plan.anotherEncoder, c.anotherEncoder);
        EXPECT_EQ(plan.sameText, c.sameText);
        EXPECT_EQ(plan.differing, c.differing);
        EXPECT_EQ(plan.ofImage.serial, IdentityOfImage(c.image).serial);
        EXPECT_EQ(plan.onEncoder.serial, IdentityOfImage(c.encoder).serial);
        EXPECT_FALSE(PlanRestore(c.encoder, image, true).anotherEncoder) << "--force writes it all the same";
    }
}

}  // namespace
