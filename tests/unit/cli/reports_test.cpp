// What tarv-cli prints about an encoder: the JSON shapes, the texts of the record's fields, the
// dates and times, the checksum checks, and the result words and exit codes.
#include <gtest/gtest.h>

#include "cli/console_host.h"
#include "cli/exit_codes.h"
#include "commands/iso_time.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "support/link_fixture.h"

using namespace commands;

namespace {

using nlohmann::ordered_json;

TEST(CliReports, TimesAreUtcIso8601AndDatesIsoDays)
{
    struct Case {
        int64_t seconds;
        const char* text;
    };
    for (const Case c : {Case{0, "1970-01-01T00:00:00Z"}, Case{1'700'000'000, "2023-11-14T22:13:20Z"},
                         Case{951'868'799, "2000-02-29T23:59:59Z"}, Case{-1, "1969-12-31T23:59:59Z"}})
        EXPECT_EQ(UtcTimestamp(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(IsoDate(0), "1899-12-30");
    EXPECT_EQ(IsoDate(41647), "2014-01-08");
}

TEST(CliReports, RecordFieldsReadAsTheWindowShowsThem)
{
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const Case cases[] = {
        {{'A', 'B', '1', '2', '3', '4'}, "AB1234"},
        {{'A', 'B', 0, '3', '4', '5'}, "AB"},  // up to the first zero
        {{0, 0, 0, 0}, ""},                    // an empty name
        {{'K', 0xB5, 'V'}, "K\u00B5V"},        // each byte the character of its code
        {{'A', 0x07, 0x9B, 'B'}, "A??B"},      // no control characters reach a terminal
    };
    for (const Case& c : cases) EXPECT_EQ(FieldText(c.bytes), c.text);
}

TEST(CliReports, ExitCodesAndResultWordsOfProgramming)
{
    struct Case {
        ProgramResult result;
        int code;
        const char* word;
    };
    for (const Case c :
         {Case{ProgramResult::Done, 0, "ok"}, Case{ProgramResult::ReadFailed, 3, "read-failed"},
          Case{ProgramResult::NoAnswer, 4, "write-failed"}, Case{ProgramResult::Refused, 4, "write-failed"},
          Case{ProgramResult::VerificationFailed, 5, "verification-failed"},
          Case{ProgramResult::ReadBackFailed, 5, "verification-failed"}}) {
        EXPECT_EQ(cli::AsInt(cli::ExitCodeOf(c.result)), c.code);
        EXPECT_STREQ(cli::ResultWord(cli::ExitCodeOf(c.result)), c.word);
    }
    EXPECT_EQ(cli::AsInt(cli::ExitCodeOf(ProgramResult::NoDevice)), 2);
    EXPECT_STREQ(cli::ResultWord(cli::ExitCode::NotApplicable), "not-applicable");
}

class CliEncoderReportTest : public LinkTest {
protected:
    EncoderReport Describe(const eeprom::Image& memory) { return DescribeEncoder(memory); }
};

TEST_F(CliEncoderReportTest, InfoJsonHasEveryKeyWithItsType)
{
    sim::ProductRecordSpec spec;
    spec.name = "KV26";
    spec.serial = "ZX9876";
    spec.manufactured = {2019, 3, 4};
    spec.lastChanged = {2021, 11, 30};
    const eeprom::Image memory = sim::Format2Image(spec, sim::MakeConfigBlock(0x14, true, 0x4305));

    const ordered_json expected = ordered_json::parse(R"json({
        "port": "COM3", "product": "KV26", "product_known": true, "serial": "ZX9876",
        "manufactured": "2019-03-04", "last_changed": "2021-11-30", "format": 2,
        "resolution": {"designation": "D50", "text": "D50 (500)= 10 µm", "code": 20},
        "edge_separation": {"table": 2, "text": "0.12 µs (8.3 MHz)", "microseconds": 0.12, "value": 17157},
        "direction": "negative",
        "config_crc_ok": true, "record_checksum_ok": true})json");
    EXPECT_EQ(cli::InfoJson("COM3", Describe(memory)), expected);
}

TEST_F(CliEncoderReportTest, SettingsWithoutRowsAreNull)
{
    // Code 0x17 has no row; value 4 belongs to table 1 without a row of its own; 0 to neither.
    for (const uint16_t edgeValue : {4, 0}) {
        const auto settings =
            SettingsJson(DescribeSettings(sim::MakeConfigBlock(0x17, false, edgeValue), ProductFamily::A));
        EXPECT_EQ(settings["resolution"],
                  ordered_json::parse(R"json({"designation": null, "text": null, "code": 23})json"));
        EXPECT_EQ(settings["edge_separation"]["table"], edgeValue == 4 ? ordered_json(1) : ordered_json(nullptr));
        EXPECT_EQ(settings["edge_separation"]["text"], nullptr);
        EXPECT_EQ(settings["edge_separation"]["microseconds"], nullptr);
        EXPECT_EQ(settings["edge_separation"]["value"], edgeValue);
        EXPECT_EQ(settings["direction"], "negative");  // family A's first row
    }
}

TEST_F(CliEncoderReportTest, ChecksumsAreCheckedAsStoredInEachFormat)
{
    sim::ProductRecordSpec spec;
    struct Case {
        const char* what;
        eeprom::Image memory;
        uint8_t format;
        bool crcOk, checksumOk;
        const char* serial;
    };
    eeprom::Image badCrc = sim::Format2Image();
    badCrc[15] ^= 1;
    eeprom::Image badChecksum = sim::Format2Image();
    badChecksum[eeprom::format2::kSerialNumber] ^= 1;
    eeprom::Image badFormat1 = sim::Format1Image(spec, 7);
    badFormat1[eeprom::format1::kRecordChecksum] ^= 1;
    const Case cases[] = {
        {"format 2", sim::Format2Image(), 2, true, true, "AB1234"},
        {"format 1", sim::Format1Image(spec, 7), 1, true, true, "AB0007"},
        {"format 1, wrong checksum", badFormat1, 1, true, false, "AB0007"},
        {"blank", sim::BlankImage(0xFF), 0xFF, true, false, ""},
        {"settings CRC wrong", badCrc, 2, false, true, "AB1234"},
        {"record changed", badChecksum, 2, true, false, "@B1234"},
    };
    for (const Case& c : cases) {
        const EncoderReport report = Describe(c.memory);
        EXPECT_EQ(report.format, c.format) << c.what;
        EXPECT_EQ(report.configCrcOk, c.crcOk) << c.what;
        EXPECT_EQ(report.recordChecksumOk, c.checksumOk) << c.what;
        EXPECT_EQ(report.serial, c.serial) << c.what;
    }
}

TEST_F(CliEncoderReportTest, ABlankRecordHasNoDates)
{
    const EncoderReport blank = Describe(sim::BlankImage(0xFF));
    const ordered_json info = cli::InfoJson("COM3", blank);
    EXPECT_EQ(info["manufactured"], nullptr);
    EXPECT_EQ(info["last_changed"], nullptr);
    const std::string text = cli::InfoText("COM3", blank);
    EXPECT_NE(text.find("Manufactured:     -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Last changed:     -\n"), std::string::npos) << text;
}

TEST_F(CliEncoderReportTest, InfoSaysWhenItsProductIsUnknown)
{
    sim::ProductRecordSpec unknown;
    unknown.name = "ZZ99";
    for (const auto& [memory, known] : {std::pair{sim::Format2Image(), true}, std::pair{sim::Format2Image(unknown), false},
                                        std::pair{sim::BlankImage(0xFF), false}}) {
        const EncoderReport report = Describe(memory);
        EXPECT_EQ(cli::InfoJson("COM3", report)["product_known"], known) << report.product;
        const std::string text = cli::InfoText("COM3", report);
        const bool toldUnknown = text.find(" (unknown product: the settings below may mean otherwise)\n") !=
                                 std::string::npos;
        EXPECT_EQ(toldUnknown, !known) << text;
    }
}

TEST(CliReports, ProgramRecordWithoutAReadHasNullsAndAReason)
{
    cli::ProgramRecord record;
    record.time = "2024-05-01T10:00:00Z";
    record.port = "COM3";
    record.product = "KV24";
    record.code = cli::ExitCode::ReadFailed;
    record.reason = "the encoder's memory could not be read";
    const ordered_json expected = ordered_json::parse(R"json({"time": "2024-05-01T10:00:00Z", "port": "COM3",
        "product": "KV24", "serial": null, "before": null, "after": null, "result": "read-failed",
        "reason": "the encoder's memory could not be read"})json");
    EXPECT_EQ(cli::ProgramJson(record), expected);
    EXPECT_EQ(cli::ProgramLine(record),
              "2024-05-01T10:00:00Z COM3 KV24 - read-failed: the encoder's memory could not be read\n");
}

TEST(CliReports, EveryPrintedObjectNamesTheToolFirst)
{
    const std::string tool = "tarv-cli 2.1.0.0";
    const ordered_json line = ordered_json::parse(cli::JsonLine({{"port", "COM3"}, {"bytes", 128}}, tool));
    EXPECT_EQ(line.begin().key(), "tool");
    EXPECT_EQ(line, ordered_json::parse(R"json({"tool": "tarv-cli 2.1.0.0", "port": "COM3", "bytes": 128})json"));

    const ordered_json ports = ordered_json::parse(cli::JsonLine(cli::PortsJson({{"COM1", "adapter", ""}}), tool));
    EXPECT_EQ(ports, ordered_json::parse(R"json([{"tool": "tarv-cli 2.1.0.0", "port": "COM1", "status": "adapter"}])json"));
}

}  // namespace
