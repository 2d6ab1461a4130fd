// The setting values of `program`: parsed against both families' lists, then checked and applied
// by the command core against the encoder's own lists as the window would show them.
#include <gtest/gtest.h>

#include "cli/settings_request.h"
#include "commands/settings_change.h"
#include "commands/settings_tables.h"

using namespace commands;

namespace {

using cli::Direction;
using cli::SettingsRequest;

TEST(CliSettings, ResolutionByDesignationOrRowTextInAnyCase)
{
    struct Case {
        const char* given;
        uint8_t code;
        ProductFamily family;
    };
    const Case cases[] = {
        {"D50", 0x14, ProductFamily::None},
        {"d50", 0x14, ProductFamily::None},
        {"04b", 0x0C, ProductFamily::None},
        {"13B", 0x03, ProductFamily::None},
        {"2d0", 0x10, ProductFamily::None},
        {"D50 (500)= 4 \u00B5m", 0x14, ProductFamily::A},
        {"d50 (500)= 4 um", 0x14, ProductFamily::A},
        {"D50 (500)= 10 \u03BCm", 0x14, ProductFamily::B},
        {"07B (128)= 30.0625 UM", 0x09, ProductFamily::B},
    };
    for (const Case& c : cases) {
        const auto parsed = cli::ParseResolution(c.given);
        ASSERT_TRUE(parsed.value) << c.given << ": " << parsed.error;
        EXPECT_EQ(kResolutionRows[parsed.value->row].code, c.code) << c.given;
        EXPECT_EQ(parsed.value->namedFor, c.family) << c.given;
    }
    for (const char* wrong : {"", "D5", "D50 ", "D50 (500)= 4", "0x14", "20"})
        EXPECT_FALSE(cli::ParseResolution(wrong).value) << wrong;
}

TEST(CliSettings, EdgeSeparationIsAMicrosecondValueOfEitherTable)
{
    struct Case {
        const char* given;
        int nanoseconds;
    };
    for (const Case c : {Case{"0.5", 500}, Case{"0.50", 500}, Case{".5", 500}, Case{"0.12", 120}, Case{"0.07", 70},
                         Case{"1", 1000}, Case{"10.0", 10000}, Case{"25", 25000}, Case{"0.120000", 120}}) {
        const auto parsed = cli::ParseEdgeSeparation(c.given);
        ASSERT_TRUE(parsed.value) << c.given << ": " << parsed.error;
        EXPECT_EQ(*parsed.value, c.nanoseconds) << c.given;
    }
    for (const char* wrong : {"", ".", "1.", "3", "0.1", "0.121", "-1", "1e0", "0,5", "0.5 us", "99999999"})
        EXPECT_FALSE(cli::ParseEdgeSeparation(wrong).value) << wrong;
}

TEST(CliSettings, DirectionWords)
{
    EXPECT_EQ(cli::ParseDirection("positive").value, Direction::Positive);
    EXPECT_EQ(cli::ParseDirection("NEGATIVE").value, Direction::Negative);
    EXPECT_FALSE(cli::ParseDirection("pos").value);
}

SettingsRequest Request(const char* resolution, const char* edge, std::optional<Direction> direction)
{
    SettingsRequest request;
    if (resolution) cli::SetResolution(request, resolution);
    if (edge) cli::SetEdgeSeparation(request, edge);
    request.change.direction = direction;
    return request;
}

EncoderLists Lists(ProductFamily family, uint8_t table)
{
    const int model = family == ProductFamily::B ? KV26 : family == ProductFamily::A ? KV24 : -1;
    return {model, family, table};
}

// The bits that a request sets, on a settings block whose every other bit must stay as it was.
TEST(CliSettings, SetsTheBitsOfTheEncodersOwnRowsAndNoOthers)
{
    struct Case {
        const char* what;
        SettingsRequest request;
        ProductFamily family;
        uint8_t table;
        std::optional<uint8_t> code;  // byte 0, bits 0..4
        std::optional<int> edgeRow;   // bytes 4 and 5 from that row of `table`
        std::optional<bool> directionBit;
    };
    const uint8_t d50 = kResolutionRows[9].code;
    const Case cases[] = {
        {"designation fits both families", Request("D50", nullptr, {}), ProductFamily::B, 1, d50, {}, {}},
        {"family A text on family A", Request("D50 (500)= 4 um", nullptr, {}), ProductFamily::A, 1, d50, {}, {}},
        // The same microseconds are different rows, and values, in the two tables.
        {"0.12 in table 1", Request(nullptr, "0.12", {}), ProductFamily::A, 1, {}, 0, {}},
        {"0.12 in table 2", Request(nullptr, "0.12", {}), ProductFamily::A, 2, {}, 2, {}},
        {"0.5 in table 2", Request(nullptr, "0.5", {}), ProductFamily::A, 2, {}, 3, {}},
        {"25 in table 1", Request(nullptr, "25", {}), ProductFamily::A, 1, {}, 8, {}},
        // The same direction is the other bit in family B.
        {"positive, family A", Request(nullptr, nullptr, Direction::Positive), ProductFamily::A, 1, {}, {}, true},
        {"positive, family B", Request(nullptr, nullptr, Direction::Positive), ProductFamily::B, 1, {}, {}, false},
        {"negative, family B", Request(nullptr, nullptr, Direction::Negative), ProductFamily::B, 1, {}, {}, true},
    };
    ConfigBytes before{};
    before.fill(0xAA);
    for (const Case& c : cases) {
        const EncoderLists lists = Lists(c.family, c.table);
        const SettingsChange change = c.request.change;
        ASSERT_FALSE(WhyNot(change, lists)) << c.what;
        ConfigBytes expected = before;
        if (c.code) expected[0] = static_cast<uint8_t>((before[0] & 0xE0) | *c.code);
        if (c.edgeRow) {
            const EdgeSeparationRow& row = EdgeTable(c.table)[static_cast<size_t>(*c.edgeRow)];
            expected[4] = row.count;
            expected[5] = static_cast<uint8_t>((before[5] & 0x80) | row.modeBits);
        }
        if (c.directionBit) expected[2] = static_cast<uint8_t>((before[2] & ~0x20) | (*c.directionBit ? 0x20 : 0));
        EXPECT_EQ(Applied(change, lists, before), expected) << c.what;
    }
}

TEST(CliSettings, SettingsThatTheEncoderDoesNotOfferDoNotApply)
{
    struct Case {
        const char* what;
        SettingsRequest request;
        ProductFamily family;
        uint8_t table;
        ChangeRefusal refusal;
        std::vector<std::string> saying;
    };
    const Case cases[] = {
        {"unknown product",
         Request("D50", nullptr, {}),
         ProductFamily::None,
         1,
         ChangeRefusal::UnknownProduct,
         {"unknown product"}},
        {"stored value in neither table",
         Request(nullptr, "1", {}),
         ProductFamily::A,
         0,
         ChangeRefusal::EdgeTableUnknown,
         {"neither table"}},
        {"only in table 2",
         Request(nullptr, "0.07", {}),
         ProductFamily::A,
         1,
         ChangeRefusal::EdgeNotInTable,
         {"'0.07'", "table 1", "0.12, 0.5, 1"}},
        {"only in table 1",
         Request(nullptr, "25", {}),
         ProductFamily::B,
         2,
         ChangeRefusal::EdgeNotInTable,
         {"'25'", "table 2", "0.07, 0.09"}},
        {"family B text on family A",
         Request("D50 (500)= 10 um", nullptr, {}),
         ProductFamily::A,
         1,
         ChangeRefusal::ResolutionOfOtherFamily,
         {"KV26 and HXD6", "D50 (500)= 4 \u00B5m", "D50"}},
    };
    for (const Case& c : cases) {
        const EncoderLists lists = Lists(c.family, c.table);
        const std::optional<ChangeRefusal> refusal = WhyNot(c.request.change, lists);
        ASSERT_EQ(refusal, c.refusal) << c.what;
        const std::string text = cli::RefusalText(*refusal, c.request, lists);
        EXPECT_EQ(text.find('\n'), std::string::npos) << c.what;
        for (const std::string& part : c.saying)
            EXPECT_NE(text.find(part), std::string::npos) << c.what << ": " << text;
    }
}

TEST(CliSettings, NumbersAsTheOptionsTakeThem)
{
    EXPECT_EQ(cli::MicrosecondsText(70), "0.07");
    EXPECT_EQ(cli::MicrosecondsText(500), "0.5");
    EXPECT_EQ(cli::MicrosecondsText(10000), "10");
    EXPECT_EQ(cli::ResolutionDesignation(3), "2D0");
}

}  // namespace
