// What tarv-cli keeps before it writes (the image store and the journal), and the commands built
// on it: restore, verify, program --like and history. Against emulated adapters on the virtual
// clock, with what the wire saw and what the encoder holds afterwards.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <csignal>
#include <fstream>

#include "cli/settings_request.h"
#include "commands/image_store.h"
#include "support/cli_fixture.h"
#include "support/frames.h"
#include "support/held_lock.h"

using namespace commands;

namespace {

using nlohmann::ordered_json;
using sim::RequestKind;

class CliStoreTest : public CliTest {
protected:
    cli::CliOptions Program(const char* resolution)
    {
        cli::CliOptions options = Options(cli::Subcommand::Program);
        cli::SetResolution(options.settings, resolution);
        return options;
    }

    cli::CliOptions Restore(const std::filesystem::path& file)
    {
        cli::CliOptions options = Options(cli::Subcommand::Restore);
        options.imageFile = file.string();
        return options;
    }

    std::vector<std::filesystem::path> StoredImages() const
    {
        std::vector<std::filesystem::path> images;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(store::ImagesFolder(DataFolder()), ignored))
            images.push_back(entry.path());
        return images;
    }

    std::vector<ordered_json> Journal() const
    {
        std::vector<ordered_json> lines;
        for (const std::string& line : Lines(FileText(store::JournalPath(DataFolder()))))
            lines.push_back(ordered_json::parse(line));
        return lines;
    }

    std::filesystem::path WriteFile(const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(ScratchPath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return ScratchPath();
    }

    std::filesystem::path WriteImage(const eeprom::Image& image) const
    {
        return WriteFile(std::vector<uint8_t>(image.begin(), image.end()));
    }
};

TEST_F(CliStoreTest, ProgramKeepsTheMemoryAsReadAndJournalsTheWrite)
{
    const eeprom::Image before = sim::Format2Image();
    auto adapter = AddAdapter("COM3", before);

    EXPECT_EQ(cli::RunProgram(Program("D50"), context), 0);
    ASSERT_EQ(StoredImages().size(), 1u);
    EXPECT_EQ(StoredImages()[0].filename(), "KV24-AB1234-20240501T100000Z.bin");
    EXPECT_EQ(FileText(StoredImages()[0]), std::string(before.begin(), before.end()));
    const std::vector<ordered_json> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    const ordered_json& line = journal[0];
    std::vector<std::string> keys;
    for (const auto& [key, value] : line.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"time", "program", "command", "port", "product", "serial", "before",
                                              "after", "result", "image"}));
    EXPECT_EQ(line["time"], "2024-05-01T10:00:00Z");
    EXPECT_EQ(line["program"], "cli");
    EXPECT_EQ(line["command"], "program");
    EXPECT_EQ(line["before"]["resolution"]["designation"], "12B");
    EXPECT_EQ(line["after"]["resolution"]["designation"], "D50");
    EXPECT_EQ(line["result"], "ok");
    EXPECT_EQ(line["image"], "KV24-AB1234-20240501T100000Z.bin");
}

TEST_F(CliStoreTest, AStoreThatCannotBeWrittenStopsTheWriteUnlessNoBackup)
{
    auto adapter = AddAdapter("COM3");
    std::ofstream(DataFolder().string());  // a file where the folder should be
    context.dataFolder = DataFolder();

    EXPECT_EQ(cli::RunProgram(Program("D50"), context), 8);
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
    EXPECT_NE(err.str().find("tarv-cli: cannot keep the encoder's image: "), std::string::npos);
    EXPECT_NE(err.str().find("; --no-backup goes on without it"), std::string::npos);

    cli::CliOptions options = Program("D50");
    options.noBackup = true;
    EXPECT_EQ(cli::RunProgram(options, context), 0);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    std::filesystem::remove(DataFolder());
}

TEST_F(CliStoreTest, RestoreOfTheStoredImageGivesBackEveryByteThatProgZeroed)
{
    const eeprom::Image original = sim::Format2Image();  // bytes 16..71 and 94..119 hold a pattern
    auto adapter = AddAdapter("COM3", original);
    ASSERT_EQ(cli::RunProgram(Program("D50"), context), 0);
    ASSERT_NE(adapter->memory(), original);
    const std::filesystem::path stored = StoredImages().at(0);
    adapter->ClearLog();

    EXPECT_EQ(cli::RunRestore(Restore(stored), context), 0) << err.str();
    EXPECT_EQ(adapter->memory(), original);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u);
    // The restore kept what it replaced, and journalled itself.
    EXPECT_EQ(StoredImages().size(), 2u);
    const std::vector<ordered_json> journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1]["command"], "restore");
    EXPECT_EQ(journal[1]["after"]["resolution"]["designation"], "12B");
}

// Programming cut off after block k: the image kept before the first block puts it all back.
TEST_F(CliStoreTest, AnEncoderCutOffInTheMiddleOfItsBlocksIsRestoredByteForByte)
{
    // After block 15 all are written and the read-back goes unanswered: verification failed.
    for (const auto& [lastAnswered, code] : {std::pair{0, 4}, std::pair{7, 4}, std::pair{15, 5}}) {
        SCOPED_TRACE(lastAnswered);
        const eeprom::Image original = sim::Format2Image();
        auto adapter = AddAdapter("COM3", original);
        // The read's four requests, then the blocks up to the last that is answered.
        adapter->UnplugAfter(1 + 4 + lastAnswered + 1);
        EXPECT_EQ(cli::RunProgram(Program("D50"), context), code);
        EXPECT_NE(adapter->memory(), original);
        const std::vector<std::filesystem::path> images = StoredImages();
        ASSERT_FALSE(images.empty());
        const std::filesystem::path stored = images.back();

        adapter->options().unplugged = false;
        adapter->options().unplugAfterFrames = -1;
        EXPECT_EQ(cli::RunRestore(Restore(stored), context), 0) << err.str();
        EXPECT_EQ(adapter->memory(), original);
        std::filesystem::remove_all(DataFolder());
        ResetProgramState();
    }
}

TEST_F(CliStoreTest, RestoreRefusesAFileThatIsNotThisEncodersSoundImage)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB1234"));
    eeprom::Image badCrc = sim::Format2Image();
    badCrc[eeprom::kConfigCrcByte] ^= 0xFF;
    const eeprom::Image other = Encoder("KV26", "XY0001");

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"127 bytes", std::vector<uint8_t>(127, 0), 1, " holds 127 bytes; an encoder's image holds 128"},
        {"bad CRC", {badCrc.begin(), badCrc.end()}, 1, ": its settings CRC does not hold (--force writes it"},
        {"another encoder", {other.begin(), other.end()}, 7,
         "tarv-cli: the image belongs to KV26 XY0001, the encoder is KV24 AB1234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        err.str("");
        EXPECT_EQ(cli::RunRestore(Restore(WriteFile(c.bytes)), context), c.code);
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
        EXPECT_TRUE(StoredImages().empty());
    }
    // --force writes another encoder's image all the same.
    cli::CliOptions forced = Restore(WriteImage(other));
    forced.force = true;
    EXPECT_EQ(cli::RunRestore(forced, context), 0);
    EXPECT_EQ(adapter->memory(), other);
}

TEST_F(CliStoreTest, RestoreTellsEncodersApartByTheirBytes)
{
    sim::ProductRecordSpec controlByte, questionMark;
    controlByte.serial = std::string("AB\n123");
    questionMark.serial = "AB?123";  // shown as the serial above is: control bytes show as '?'
    sim::ProductRecordSpec prefixCD, programmed;
    prefixCD.serial = "CD";
    programmed.serial = "CD0042";
    const eeprom::Image counter42 = sim::Format1Image(prefixCD, 42);
    const eeprom::Image counter1234 = sim::Format1Image(prefixCD, 1234);
    const eeprom::Image counter12345 = sim::Format1Image(prefixCD, 12345);  // also "CD1234" in format 2

    struct Case {
        const char* what;
        eeprom::Image image, encoder;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"serials that only look alike", sim::Format2Image(controlByte), sim::Format2Image(questionMark), 7,
         "tarv-cli: the image belongs to KV24 AB?123, the encoder is KV24 AB?123 (the same text, other bytes: "
         "serial 41 42 0A 31 32 33 in the image, 41 42 3F 31 32 33 on the encoder)\n"},
        {"format-1 counters with the same four digits", counter12345, counter1234, 7,
         "tarv-cli: the image belongs to KV24 CD1234, the encoder is KV24 CD1234 (the same text, other bytes: "
         "format-1 counter 0x3039 (12345) in the image, 0x04D2 (1234) on the encoder)\n"},
        {"a format-1 image onto its encoder, now format 2", counter42, sim::Format2Image(programmed), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        err.str("");
        auto adapter = AddAdapter("COM3", c.encoder);
        ASSERT_EQ(cli::RunRestore(Restore(WriteImage(c.image)), context), c.code) << err.str();
        EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), c.code == 0 ? 16u : 0u);
        EXPECT_EQ(adapter->memory(), c.code == 0 ? c.image : c.encoder);
        EXPECT_EQ(err.str(), c.message);
    }
}

TEST_F(CliStoreTest, RestoreJsonGivesAnObjectForEveryEndingThatReachedTheEncoder)
{
    auto adapter = AddAdapter("COM3");
    const eeprom::Image other = Encoder("KV26", "XY0001");
    cli::CliOptions options = Restore(WriteImage(other));
    options.json = true;
    EXPECT_EQ(cli::RunRestore(options, context), 7);
    const ordered_json refused = ordered_json::parse(out.str());
    EXPECT_EQ(refused["result"], "not-applicable");
    EXPECT_EQ(refused["product"], "KV24");
    EXPECT_EQ(refused["serial"], "AB1234");
    EXPECT_EQ(refused["reason"], "the image belongs to KV26 XY0001, the encoder is KV24 AB1234");
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());

    // An image that the encoder holds already: a dry run says that nothing would change.
    options = Restore(WriteImage(sim::Format2Image()));
    options.dryRun = true;
    out.str("");
    EXPECT_EQ(cli::RunRestore(options, context), 0);
    EXPECT_NE(out.str().find("No byte would change: the encoder holds what restore would write.\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("Bytes that"), std::string::npos) << out.str();
}

TEST_F(CliStoreTest, RestoreDryRunNamesTheBytesAndWritesNothing)
{
    auto adapter = AddAdapter("COM3");
    eeprom::Image changed = sim::Format2Image();
    changed[0x20] = 0x00;
    cli::CliOptions options = Restore(WriteImage(changed));
    options.dryRun = true;

    EXPECT_EQ(cli::RunRestore(options, context), 0);
    EXPECT_NE(out.str().find("Bytes that restore would change (address: now -> written):\n  0x20: 0xA5 -> 0x00\n"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
    EXPECT_TRUE(StoredImages().empty());
}

TEST_F(CliStoreTest, VerifyReadsOnlyAndNamesEachDifference)
{
    eeprom::Image image = sim::Format2Image();  // 12B, 1 µs, negative
    auto adapter = AddAdapter("COM3", image);
    cli::CliOptions options = Options(cli::Subcommand::Verify);

    EXPECT_EQ(cli::RunVerify(options, context), 0);
    cli::SetResolution(options.settings, "D50");
    cli::SetEdgeSeparation(options.settings, "0.5");
    options.settings.change.direction = cli::Direction::Positive;
    out.str("");
    EXPECT_EQ(cli::RunVerify(options, context), 5);
    EXPECT_EQ(Lines(out.str()), (std::vector<std::string>{"2024-05-01T10:00:00Z COM3 KV24 AB1234 verification-failed",
                                                          "resolution: D50 expected, 12B found",
                                                          "edge_separation: 0.5 expected, 1 found",
                                                          "direction: positive expected, negative found"}));

    adapter->memory()[eeprom::kConfigCrcByte] ^= 0xFF;
    adapter->memory()[0x5D] ^= 0xFF;
    options.settings = {};
    options.json = true;
    out.str("");
    EXPECT_EQ(cli::RunVerify(options, context), 5);
    const ordered_json result = ordered_json::parse(out.str());
    EXPECT_EQ(result["ok"], false);
    EXPECT_EQ(result["differences"],
              ordered_json::parse(R"([{"field":"config_crc","expected":"valid","found":"invalid"},
                                      {"field":"record_checksum","expected":"valid","found":"invalid"}])"));
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
    EXPECT_TRUE(StoredImages().empty());
}

TEST_F(CliStoreTest, ProgramLikeTakesTheMeaningOfAnImageOrOfInfoJson)
{
    // The source: a KV26 (family B, table 2) at D50, 0.5 µs, positive. The target: a KV24 (family
    // A, table 1), whose direction bit and edge byte for the same meaning differ.
    sim::ProductRecordSpec kv26;
    kv26.name = "KV26";
    const eeprom::Image source = sim::Format2Image(kv26, sim::MakeConfigBlock(0x14, true, 5));
    auto adapter = AddAdapter("COM3", source);
    cli::CliOptions info = Options(cli::Subcommand::Info);
    info.json = true;
    ASSERT_EQ(cli::RunInfo(info, context), 0);
    const std::string infoJson = out.str();
    ASSERT_EQ(ordered_json::parse(infoJson)["edge_separation"]["microseconds"], 0.5);

    for (const bool fromImage : {true, false}) {
        SCOPED_TRACE(fromImage ? "image" : "info --json");
        const eeprom::Image target = sim::Format2Image();
        adapter->PutEncoder(target);
        cli::CliOptions options = Options(cli::Subcommand::Program);
        options.likePath = (fromImage ? WriteImage(source) : WriteFile({infoJson.begin(), infoJson.end()})).string();
        options.settings.change.direction = cli::Direction::Negative;  // the command line wins
        out.str("");
        ASSERT_EQ(cli::RunProgram(options, context), 0) << err.str();

        cli::CliOptions verify = Options(cli::Subcommand::Verify);
        cli::SetResolution(verify.settings, "D50");
        cli::SetEdgeSeparation(verify.settings, "0.5");
        verify.settings.change.direction = cli::Direction::Negative;
        EXPECT_EQ(cli::RunVerify(verify, context), 0) << out.str();
        // The target's identity stays its own.
        EXPECT_TRUE(std::equal(target.begin() + 72, target.begin() + 84, adapter->memory().begin() + 72));
    }
}

TEST_F(CliStoreTest, VerifyOfAnUnknownProductIsNotAPass)
{
    auto adapter = AddAdapter("COM3", Encoder("ZZ99", "XX0001"));
    cli::CliOptions options = Options(cli::Subcommand::Verify);
    options.json = true;
    EXPECT_EQ(cli::RunVerify(options, context), 6);
    const ordered_json result = ordered_json::parse(out.str());
    EXPECT_EQ(result["ok"], false);
    EXPECT_EQ(result["result"], "not-applicable");
    EXPECT_EQ(result["reason"], "unknown product");
    EXPECT_NE(err.str().find("tarv-cli: unknown product\n"), std::string::npos) << err.str();
}

// A read that fails is told as program tells it, one object with its reason; one that a stop cut
// short is not judged at all (it was once printed as a pass).
TEST_F(CliStoreTest, AVerifyWhoseReadFailsIsNoPass)
{
    sim::AdapterOptions options;
    options.encoderAbsent = true;
    auto adapter = AddAdapter("COM3", sim::Format2Image(), options);
    int signal = 0;
    adapter->OnFrame([&](const sim::LoggedFrame& frame) {
        if (frame.kind == RequestKind::EepromRead) signal = SIGINT;
    });
    context.stopSignal = [&] { return signal; };
    cli::CliOptions verify = Options(cli::Subcommand::Verify);
    verify.json = true;
    EXPECT_EQ(cli::RunVerify(verify, context), 130);
    EXPECT_EQ(out.str(), "");

    context.stopSignal = [] { return 0; };
    EXPECT_EQ(cli::RunVerify(verify, context), 3);
    const ordered_json failed = ordered_json::parse(out.str());
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["result"], "read-failed");
    EXPECT_EQ(failed["reason"].get<std::string>().find("no encoder answers"), 0u) << failed["reason"];
}

TEST_F(CliStoreTest, VerifyJudgesEachSettingAsProgrammingWouldApplyIt)
{
    // A KV24 (family A, edge table 1) at D50, 1 \u00B5s, negative.
    auto adapter = AddAdapter("COM3", sim::Format2Image({}, sim::MakeConfigBlock(0x14, false, 10)));
    struct Case {
        const char* resolution;
        const char* edge;
        int exit;
        const char* reason;  // the start of it
    };
    const Case cases[] = {
        {"D50", nullptr, 0, nullptr},
        {"D50 (500)= 4 \u00B5m", nullptr, 0, nullptr},  // its own list's row
        {"D50 (500)= 10 \u00B5m", nullptr, 6, "--resolution: 'D50 (500)= 10 \u00B5m' is a row of the KV26 and HXD6 list"},
        {nullptr, "0.07", 6, "--edge-separation: '0.07' is not in this encoder's table 1"},
        {nullptr, "1", 0, nullptr},
        {"D25", "0.5", 5, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.resolution ? c.resolution : "") + " " + (c.edge ? c.edge : ""));
        cli::CliOptions options = Options(cli::Subcommand::Verify);
        if (c.resolution) cli::SetResolution(options.settings, c.resolution);
        if (c.edge) cli::SetEdgeSeparation(options.settings, c.edge);
        options.json = true;
        out.str("");
        err.str("");
        EXPECT_EQ(cli::RunVerify(options, context), c.exit) << err.str();
        const ordered_json result = ordered_json::parse(out.str());
        EXPECT_EQ(result["ok"], c.exit == 0);
        if (c.reason) {
            EXPECT_EQ(result["reason"].get<std::string>().rfind(c.reason, 0), 0u) << result["reason"];
            EXPECT_EQ(result["result"], "not-applicable");
        }
        // A setting that verify cannot pass for this reason is one that programming refuses.
        options.command = cli::Subcommand::Program;
        options.dryRun = true;
        options.json = false;
        out.str("");
        EXPECT_EQ(cli::RunProgram(options, context), c.exit == 6 ? 6 : 0);
    }
    EXPECT_TRUE(adapter->FramesOf(RequestKind::EepromWrite).empty());
}

TEST_F(CliStoreTest, ProgramLikeRefusesAnImageWhoseSettingsCannotBeRead)
{
    eeprom::Image badCrc = sim::Format2Image(), badSum = sim::Format2Image();
    badCrc[eeprom::kConfigCrcByte] ^= 0xFF;
    badSum[eeprom::format2::kRecordChecksum] ^= 0xFF;
    struct Case {
        const char* what;
        eeprom::Image image;
        const char* reason;
    };
    const Case cases[] = {
        {"settings CRC", badCrc, "its settings CRC does not hold"},
        {"record checksum", badSum, "its record checksum does not hold"},
        {"blank record", sim::BlankImage(), "its record is blank"},
        {"unknown product", Encoder("ZZ99", "XX0001"), "its product is unknown, so its settings cannot be read"},
    };
    auto adapter = AddAdapter("COM3", sim::Format2Image());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        err.str("");
        cli::CliOptions options = Options(cli::Subcommand::Program);
        options.likePath = WriteImage(c.image).string();
        EXPECT_EQ(cli::RunProgram(options, context), 1);
        EXPECT_EQ(err.str(), "tarv-cli: --like: " + options.likePath + ": " + c.reason + "\n");
    }
    EXPECT_TRUE(adapter->log().empty());
}

TEST_F(CliStoreTest, ProgramLikeRefusesADescriptionWhoseSettingsCannotBeRead)
{
    // Descriptions as info --json gives them, of encoders whose settings cannot be taken, and
    // good ones edited by hand: the same rule as for an image.
    const auto infoJsonOf = [this](const eeprom::Image& image) {
        auto source = AddAdapter("COM4", image);
        cli::CliOptions info = Options(cli::Subcommand::Info, "COM4");
        info.json = true;
        out.str("");
        EXPECT_EQ(cli::RunInfo(info, context), 0);
        return ordered_json::parse(out.str());
    };
    eeprom::Image badCrc = sim::Format2Image();
    badCrc[eeprom::kConfigCrcByte] ^= 0xFF;
    ordered_json badChecksum = infoJsonOf(sim::Format2Image());
    badChecksum["record_checksum_ok"] = false;
    ordered_json noProduct = infoJsonOf(sim::Format2Image());
    noProduct.erase("product");
    ordered_json checksumsNotSaid = infoJsonOf(sim::Format2Image());
    checksumsNotSaid.erase("config_crc_ok");
    struct Case {
        const char* what;
        ordered_json description;
        const char* reason;
    };
    const Case cases[] = {
        {"settings CRC", infoJsonOf(badCrc), "its settings CRC does not hold"},
        {"unknown product", infoJsonOf(Encoder("ZZ99", "XX0001")), "its product is unknown, so its settings cannot be read"},
        {"blank record", infoJsonOf(sim::BlankImage()), "its record is blank"},
        {"record checksum", badChecksum, "its record checksum does not hold"},
        {"no product", noProduct, "it names no product, so its settings cannot be read"},
        {"checksums not said", checksumsNotSaid, "it does not say that its settings CRC and record checksum hold"},
    };
    auto adapter = AddAdapter("COM3", sim::Format2Image());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = c.description.dump();
        err.str("");
        cli::CliOptions options = Options(cli::Subcommand::Program);
        options.likePath = WriteFile({text.begin(), text.end()}).string();
        EXPECT_EQ(cli::RunProgram(options, context), 1);
        EXPECT_EQ(err.str(), "tarv-cli: --like: " + options.likePath + ": " + c.reason + "\n");
    }
    EXPECT_TRUE(adapter->log().empty());
}

TEST_F(CliStoreTest, HistoryOfAJournalThatCannotBeReadIsExitEight)
{
    const cli::CliOptions options = Options(cli::Subcommand::History);
    EXPECT_EQ(cli::RunHistory(options, context), 0);  // none yet
    EXPECT_NE(err.str().find("tarv-cli: no journal yet"), std::string::npos);

    std::filesystem::create_directories(store::JournalPath(DataFolder()));
    err.str("");
    EXPECT_EQ(cli::RunHistory(options, context), 8);
    EXPECT_EQ(err.str(), "tarv-cli: the journal cannot be read: " + store::JournalPath(DataFolder()).string() +
                             ": not a regular file\n");
    std::filesystem::remove(store::JournalPath(DataFolder()));

#ifndef _WIN32  // Windows has no file without read permission to make here
    if (geteuid() != 0) {  // root reads a file without permission all the same
        std::ofstream(store::JournalPath(DataFolder())) << "{}\n";
        std::filesystem::permissions(store::JournalPath(DataFolder()), std::filesystem::perms::none);
        err.str("");
        EXPECT_EQ(cli::RunHistory(options, context), 8);
        EXPECT_NE(err.str().find(": Permission denied\n"), std::string::npos) << err.str();
    }
#endif
}

TEST_F(CliStoreTest, HistoryListsTheJournalNewestLastAndFilters)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    ASSERT_EQ(cli::RunProgram(Program("D50"), context), 0);
    adapter->PutEncoder(Encoder("KV24", "AB0002"));
    ASSERT_EQ(cli::RunProgram(Program("D25"), context), 0);
    cli::CliOptions options = Options(cli::Subcommand::History);

    out.str("");
    EXPECT_EQ(cli::RunHistory(options, context), 0);
    const std::vector<std::string> table = Lines(out.str());
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].substr(0, 30), "TIME                  PROGRAM ");
    EXPECT_NE(table[1].find("AB0001"), std::string::npos);
    EXPECT_NE(table[2].find("AB0002"), std::string::npos);

    options.serial = "AB0002";
    options.json = true;
    out.str("");
    EXPECT_EQ(cli::RunHistory(options, context), 0);
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ordered_json::parse(lines[0])["image"], "KV24-AB0002-20240501T100000Z.bin");
}

TEST_F(CliStoreTest, HistoryMatchesProductsInAnyCaseAndCountsLinesItCannotRead)
{
    auto adapter = AddAdapter("COM3", Encoder("KV24", "AB0001"));
    ASSERT_EQ(cli::RunProgram(Program("D50"), context), 0);
    std::ofstream(store::JournalPath(DataFolder()), std::ios::app) << "{\"time\": \"2024-05-0";  // torn at a crash
    cli::CliOptions options = Options(cli::Subcommand::History);
    options.product = "kv24";
    options.json = true;
    out.str("");
    err.str("");
    EXPECT_EQ(cli::RunHistory(options, context), 0);
    EXPECT_EQ(Lines(out.str()).size(), 1u);
    EXPECT_EQ(err.str(), "tarv-cli: 1 line of " + store::JournalPath(DataFolder()).string() +
                             " could not be read and is left out\n");
}

// The journal's lock held by another program before the first block: waited for ten seconds at most
// (told after two), then exit 8 with nothing sent; a stop during the wait ends the command at once.
TEST_F(CliStoreTest, AJournalLockedByAnotherProgramIsWaitedForTenSecondsOrUntilAStop)
{
    auto adapter = AddAdapter("COM3");
    std::filesystem::create_directories(DataFolder());
    const std::filesystem::path journal = store::JournalPath(DataFolder());
    std::ofstream(journal) << "";
    HeldLock held(journal);
    ASSERT_TRUE(held.Holding());
    context.lockWaitClock = &host;
    const std::string waiting =
        "tarv-cli: waiting for " + journal.string() + ": another program holds its lock (up to 10 s)\n";
    struct Case {
        const char* what;
        uint64_t stopAtMs;  // 0: no stop
        int code;
        std::string told;
        uint64_t endsAtMs;
    };
    const Case cases[] = {
        {"waited out", 0, 8,
         waiting + "tarv-cli: cannot append to the journal: " + journal.string() +
             ": another program has held its lock for 10 s; --no-backup goes on without it\n",
         10'000},
        {"stopped", 3'000, 130, waiting, 3'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        err.str("");
        const uint64_t start = host.NowMicros();
        context.stopSignal = [&] { return c.stopAtMs != 0 && host.NowMicros() - start >= c.stopAtMs * 1000 ? SIGINT : 0; };
        EXPECT_EQ(cli::RunProgram(Program("D50"), context), c.code);
        EXPECT_EQ(err.str(), c.told);
        EXPECT_GE(ElapsedMsSince(start), c.endsAtMs);
        EXPECT_LT(ElapsedMsSince(start), c.endsAtMs + 100);
        EXPECT_TRUE(adapter->log().empty());  // the port was not even opened
        EXPECT_TRUE(StoredImages().empty());
    }
    EXPECT_EQ(FileText(journal), "");
}

#ifndef _WIN32  // a link needs a privilege there
// A link that points nowhere, put where the journal or the images folder goes, is called what it
// is, not "File exists".
TEST_F(CliStoreTest, ADanglingLinkInTheStoreIsCalledWhatItIs)
{
    auto adapter = AddAdapter("COM3");
    const std::filesystem::path nowhere = DataFolder() / "nowhere";
    struct Case {
        std::filesystem::path link;
        std::string told;
    };
    const Case cases[] = {
        {store::JournalPath(DataFolder()), "cannot append to the journal: "},
        {store::ImagesFolder(DataFolder()), "cannot keep the encoder's image: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link.filename().string());
        std::filesystem::remove_all(DataFolder());
        std::filesystem::create_directories(DataFolder());
        std::filesystem::create_symlink(nowhere, c.link);
        err.str("");
        EXPECT_EQ(cli::RunProgram(Program("D50"), context), 8);
        EXPECT_EQ(err.str(), "tarv-cli: " + c.told + c.link.string() + ": a link to " + nowhere.string() +
                                 ", which does not exist; --no-backup goes on without it\n");
        EXPECT_TRUE(adapter->log().empty());
        EXPECT_TRUE(std::filesystem::is_symlink(c.link));
        EXPECT_FALSE(std::filesystem::exists(nowhere));
    }
}
#endif

}  // namespace
