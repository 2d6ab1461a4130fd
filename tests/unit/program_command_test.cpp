// PROG's device rules without a window: the merge masks, the image, every write outcome and the
// verification, checked against what the emulated adapter saw and holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "commands/program_command.h"
#include "commands/read_command.h"
#include "support/frames.h"
#include "support/held_lock.h"
#include "support/link_fixture.h"
#include "support/programming_image.h"
#include "support/text_files.h"

using namespace commands;

namespace {

constexpr int32_t kToday = 46000;

// One table pairs each outcome with its word and tarv-cli's exit code, and PROG's results land on it.
TEST(Outcomes, EachResultHasOneWordAndOneExitCode)
{
    struct Case {
        ProgramResult result;
        Outcome outcome;
        const char* word;
        int exitCode;
    };
    for (const Case& c :
         {Case{ProgramResult::Done, Outcome::Ok, "ok", 0},
          Case{ProgramResult::NoDevice, Outcome::NoAdapter, "no-adapter", 2},
          Case{ProgramResult::ReadFailed, Outcome::ReadFailed, "read-failed", 3},
          Case{ProgramResult::NoAnswer, Outcome::WriteFailed, "write-failed", 4},
          Case{ProgramResult::Refused, Outcome::WriteFailed, "write-failed", 4},
          Case{ProgramResult::VerificationFailed, Outcome::VerificationFailed, "verification-failed", 5},
          Case{ProgramResult::ReadBackFailed, Outcome::VerificationFailed, "verification-failed", 5},
          Case{ProgramResult::NotKept, Outcome::StoreFailed, "store-failed", 8}}) {
        EXPECT_EQ(OutcomeOf(c.result), c.outcome) << c.word;
        EXPECT_STREQ(WordOf(c.outcome), c.word);
        EXPECT_EQ(ExitCodeOf(c.outcome), c.exitCode) << c.word;
        EXPECT_EQ(OutcomeOfExitCode(c.exitCode), c.outcome) << c.word;
    }
    EXPECT_STREQ(WordOf(Outcome::NotApplicable), "not-applicable");
    EXPECT_EQ(ExitCodeOf(Outcome::NotApplicable), 6);
    for (const int notAnOutcome : {1, 7}) EXPECT_EQ(OutcomeOfExitCode(notAnOutcome), Outcome::NotApplicable);
}

TEST(MergeEditedSettings, TakesExactlyTheFourFieldsFromTheEditedCopy)
{
    struct Case {
        int byte;
        uint8_t fresh, edited, merged;
    };
    const Case cases[] = {
        {0, 0xE3, 0x1C, 0xFC},                         // resolution code: bits 0-4 edited, 5-7 the device's
        {0, 0x00, 0xFF, 0x1F}, {2, 0xDF, 0x00, 0xDF},  // direction: bit 5 only
        {2, 0x00, 0xFF, 0x20}, {4, 0x12, 0x66, 0x66},  // edge-separation count: the whole byte
        {5, 0x80, 0x43, 0xC3},                         // edge mode: bits 0-6 edited, bit 7 the device's
        {5, 0x7F, 0x80, 0x00}, {1, 0x11, 0x22, 0x11},  // every other byte is the device's
        {3, 0x33, 0x44, 0x33}, {14, 0x55, 0x66, 0x55},
    };
    for (const Case& c : cases) {
        ConfigBytes fresh{}, edited{};
        fresh[c.byte] = c.fresh;
        edited[c.byte] = c.edited;
        MergeEditedSettings(fresh, edited);
        EXPECT_EQ(fresh[c.byte], c.merged)
            << "byte " << c.byte << " fresh " << int(c.fresh) << " edited " << int(c.edited);
    }
}

class ProgramEncoderTest : public LinkTest {
protected:
    ProgramEncoderTest() { host.SetToday(kToday); }

    // The encoder read once, as the window holds it before PROG, then the user's edits.
    std::shared_ptr<sim::AdapterEmulator> LoadedEncoder(const eeprom::Image& image, sim::AdapterOptions options = {})
    {
        auto adapter = OpenAdapter(image, std::move(options));
        EXPECT_EQ(ReadDeviceImage(), 1);
        adapter->ClearLog();
        host.ClearMessages();
        return adapter;
    }

    static void Edit(ConfigBytes& config)
    {
        config[0] = static_cast<uint8_t>((config[0] & 0xE0) | 0x1C);
        config[2] |= 0x20;
        config[4] = 4;
        config[5] = static_cast<uint8_t>((config[5] & 0x80) | 0x43);
    }

    static ProgramResult Program()
    {
        return ProgramEncoder([] { return RefreshDeviceModel(nullptr); }, nullptr);
    }
};

TEST_F(ProgramEncoderTest, WritesTheMergedStampedImageAndVerifiesIt)
{
    const eeprom::Image device = sim::Format2Image();
    auto adapter = LoadedEncoder(device);
    Edit(DeviceModel.ConfigBlock);
    const eeprom::Image expected = ExpectedProgrammingImage(device, DeviceModel.ConfigBlock, kToday);

    EXPECT_EQ(Program(), ProgramResult::Done);
    EXPECT_EQ(adapter->Frames(), ProgrammingFrames(expected));
    EXPECT_EQ(adapter->memory(), expected);
    EXPECT_TRUE(host.messages().empty());
}

TEST(ProgrammedImageTest, HasZerosOutsideTheThreeBlocks)
{
    eeprom::Image read = sim::Format2Image();
    std::fill(read.begin() + 16, read.begin() + 72, 0x5A);
    std::fill(read.begin() + 94, read.begin() + 120, 0x5A);
    ConfigBytes edited{};
    std::copy_n(read.begin(), edited.size(), edited.begin());
    const eeprom::Image image = ProgrammedImage(read, edited, kToday);
    EXPECT_EQ(ImageBytes(image, 16, 56), Bytes(56, 0));
    EXPECT_EQ(ImageBytes(image, 94, 26), Bytes(26, 0));
    EXPECT_EQ(image[72], 2);
    EXPECT_EQ(ImageBytes(image, 89, 4), AsBytes(DayNumberToBytes(kToday)));
    EXPECT_EQ(image[93], SumChecksum(std::span(image).subspan(72, 21)));
    EXPECT_EQ(image[15], ComputeConfigCrc(image, 15, 0));
}

TEST_F(ProgramEncoderTest, EveryEndingAndWhatItLeaves)
{
    struct Case {
        const char* what;
        std::function<void(sim::AdapterOptions&)> fault;
        ProgramResult result;
        size_t writes;
        size_t reads;
        std::vector<Message> messages;
    };
    const Case cases[] = {
        {"refused block 5",
         [](auto& o) { o.blockStatus[40] = 0; },
         ProgramResult::Refused,
         6,
         4,
         {{"Writing to EEPROM was unsuccesfull", "ERROR"}}},
        {"unanswered block 12",
         [](auto& o) { o.ignoredBlocks = {96}; },
         ProgramResult::NoAnswer,
         13,
         4,
         {{"COM port is not responding!", "ERROR"}}},
        {"status after 500 ms",
         [](auto& o) { o.blockWriteTime = 501'000; },
         ProgramResult::NoAnswer,
         1,
         4,
         {{"COM port is not responding!", "ERROR"}}},
        {"short fresh read",
         [](auto& o) { o.shortReadBy = 1; },
         ProgramResult::ReadFailed,
         0,
         4,
         {{"False communication with EEPROM", "ERROR"}, {"EEPROM read error", "ERROR"}}},
        {"a worn cell in the settings",
         [](auto& o) { o.stuckCells[4] = 0x77; },
         ProgramResult::VerificationFailed,
         16,
         8,
         {{"EEPROM verification error", "ERROR"}}},
        // The loaded read, the fresh read and sixteen blocks are answered; the read-back is not.
        {"read-back unread",
         [](auto& o) { o.unplugAfterFrames = 4 + 4 + 16; },
         ProgramResult::ReadBackFailed,
         16,
         8,
         {{"False communication with EEPROM", "ERROR"}}},
        // The last-changed date keeps a byte of the old one: a wrong identity is no success.
        {"a worn cell in the record",
         [](auto& o) { o.stuckCells[92] = sim::Format2Image()[92]; },
         ProgramResult::VerificationFailed,
         16,
         8,
         {{"EEPROM verification error", "ERROR"}}},
    };
    for (const Case& c : cases) {
        ResetProgramState();
        auto adapter = LoadedEncoder(sim::Format2Image());
        Edit(DeviceModel.ConfigBlock);
        const ConfigBytes edited = DeviceModel.ConfigBlock;
        c.fault(adapter->options());

        EXPECT_EQ(Program(), c.result) << c.what;
        EXPECT_EQ(adapter->FramesOf(sim::RequestKind::EepromWrite).size(), c.writes) << c.what;
        EXPECT_EQ(adapter->FramesOf(sim::RequestKind::EepromRead).size(), c.reads) << c.what;
        EXPECT_EQ(host.messages(), c.messages) << c.what;
        if (c.result == ProgramResult::ReadFailed) {
            EXPECT_EQ(DeviceModel.ConfigBlock, edited) << c.what;
        }
        EXPECT_EQ(AllBlocksWritten(c.result), c.writes == 16) << c.what;
    }
}

TEST_F(ProgramEncoderTest, DeviceBitsThatDifferFromTheEditedCopyFailVerification)
{
    // Edits made without a read of this encoder: its own bits differ from the model's.
    auto adapter = OpenAdapter(sim::Format2Image());
    DeviceModel.ConfigBlock.fill(0);
    EXPECT_EQ(Program(), ProgramResult::VerificationFailed);
    EXPECT_EQ(adapter->FramesOf(sim::RequestKind::EepromWrite).size(), 16u);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"EEPROM verification error", "ERROR"}}));
}

// Notes each write it hears: "before <command>", "after <result>".
class HeardWrites final : public WriteWitness {
public:
    bool BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image&) override
    {
        heard.push_back("before " + encoder.command);
        return true;
    }
    void AfterWriting(std::string_view result, const std::optional<SettingsReport>&) override
    {
        heard.push_back("after " + std::string(result));
    }

    std::vector<std::string> heard;
};

TEST_F(ProgramEncoderTest, TwoWitnessesOnOneThreadEachHearOnlyTheWriteTheyWereHanded)
{
    // A blank record made today and last changed before: PROG stamps today, so its read-back
    // repairs the record, a write inside PROG's own.
    sim::ProductRecordSpec spec;
    spec.name = std::string(4, '\0');
    spec.manufactured = DateFromDayNumber(kToday);
    spec.lastChanged = DateFromDayNumber(kToday - 30);
    auto adapter = LoadedEncoder(sim::Format2Image(spec));
    HeardWrites prog, readBack;

    EXPECT_EQ(ProgramEncoder([&] { return RefreshDeviceModel(&readBack); }, &prog), ProgramResult::Done);
    EXPECT_EQ(adapter->FramesOf(sim::RequestKind::EepromWrite).size(), 16u + 3u);  // PROG's, then the repair's
    EXPECT_EQ(prog.heard, (std::vector<std::string>{"before program", "after ok"}));
    EXPECT_EQ(readBack.heard, (std::vector<std::string>{"before repair", "after ok"}));

    // A write handed no witness tells neither.
    const eeprom::Image read = adapter->memory();
    EXPECT_EQ(WriteAndVerify(read, {"restore", "COM3", "", "", {}}, read, nullptr).result, ProgramResult::Done);
    EXPECT_EQ(prog.heard.size(), 2u);
    EXPECT_EQ(readBack.heard.size(), 2u);
}

TEST_F(ProgramEncoderTest, NoPortSendsNothing)
{
    auto adapter = AddAdapter("COM3");
    EXPECT_EQ(Program(), ProgramResult::NoDevice);
    EXPECT_TRUE(adapter->Frames().empty());
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"No programming device", "ERROR"}}));
}

}  // namespace

namespace {

// The one write of a whole image, under each policy of the write witness.
class WitnessPolicyTest : public LinkTest {
protected:
    ~WitnessPolicyTest() override { std::filesystem::remove_all(root_); }

    std::filesystem::path root_ =
        std::filesystem::temp_directory_path() /
        (std::string("tarv-policy-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(WitnessPolicyTest, DecidesWhetherTheWriteBeginsAndWhatIsKept)
{
    struct Case {
        const char* what;
        WitnessPolicy policy;
        bool storeWritable;
        ProgramResult result;
        size_t imagesKept;
        bool complained;
    };
    const Case cases[] = {
        {"required, kept", WitnessPolicy::Required, true, ProgramResult::Done, 1, false},
        {"required, the store cannot be written", WitnessPolicy::Required, false, ProgramResult::NotKept, 0, false},
        {"best effort, the store cannot be written", WitnessPolicy::BestEffort, false, ProgramResult::Done, 0, true},
        {"none", WitnessPolicy::None, true, ProgramResult::Done, 0, false},
    };
    const eeprom::Image before = sim::Format2Image();
    const eeprom::Image image = sim::Format2Image({}, sim::MakeConfigBlock(0x14, true, 10));
    int port = 10;
    for (const Case& c : cases) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        // A data folder below a regular file cannot be made.
        if (!c.storeWritable) std::ofstream(root_ / "file") << "x";
        const std::filesystem::path data = c.storeWritable ? root_ / "data" : root_ / "file" / "data";
        const std::string name = "COM" + std::to_string(port++);
        auto adapter = AddAdapter(name, before);
        OpenPort(name);
        std::ostringstream errors;
        StoreWitness store(data, "cli", {errors, "tarv-cli"}, c.policy, [] { return int64_t{1'700'000'000}; });

        const WrittenEncoder encoder{"restore", "COM3", "KV24", "AB1234", {}};
        const ProgrammingReport report = WriteAndVerify(image, encoder, before, &store);

        EXPECT_EQ(report.result, c.result) << c.what;
        EXPECT_EQ(adapter->memory(), c.result == ProgramResult::NotKept ? before : image) << c.what;
        if (c.result == ProgramResult::NotKept) {
            EXPECT_TRUE(adapter->Frames().empty()) << c.what;
        }
        const bool kept = std::filesystem::exists(data / "images");
        const size_t images =
            kept ? static_cast<size_t>(std::distance(std::filesystem::directory_iterator(data / "images"),
                                                     std::filesystem::directory_iterator()))
                 : 0;
        EXPECT_EQ(images, c.imagesKept) << c.what;
        EXPECT_EQ(std::filesystem::exists(data / "journal.jsonl"), c.imagesKept == 1) << c.what;
        EXPECT_EQ(store.LastImage().has_value(), c.imagesKept == 1) << c.what;
        EXPECT_EQ(!errors.str().empty(), c.complained) << c.what << ": " << errors.str();
        EXPECT_EQ(!store.KeepError().empty(), c.result == ProgramResult::NotKept) << c.what;
        ClosePort();
    }
}

// The window's journal line while another program holds the journal's lock: waited for as long as
// tarv-cli waits (ten seconds, told after two), then the window goes on as when the store cannot be
// written. The encoder was written all the same.
TEST_F(WitnessPolicyTest, TheWindowWaitsTenSecondsForAnotherProgramsLockAndGoesOn)
{
    std::filesystem::create_directories(root_);
    const std::filesystem::path journal = root_ / "journal.jsonl";
    std::ofstream(journal) << "";
    HeldLock held(journal);
    ASSERT_TRUE(held.Holding());
    const eeprom::Image before = sim::Format2Image();
    const eeprom::Image image = sim::Format2Image({}, sim::MakeConfigBlock(0x14, true, 10));
    auto adapter = OpenAdapter(before);
    std::ostringstream errors;
    StoreWitness store(root_, "window", {errors, "tarv-configurator"}, WitnessPolicy::BestEffort,
                       [] { return int64_t{1'700'000'000}; });
    store.WaitForLocksAs({{}, {}, &host});  // on the virtual clock

    const uint64_t start = host.NowMicros();
    const ProgrammingReport report = WriteAndVerify(image, {"program", "COM3", "KV24", "AB1234", {}}, before, &store);
    const uint32_t waited = ElapsedMsSince(start);

    EXPECT_EQ(report.result, ProgramResult::Done);
    EXPECT_EQ(adapter->memory(), image);
    EXPECT_EQ(errors.str(), "tarv-configurator: waiting for " + journal.string() +
                                ": another program holds its lock (up to 10 s)\n"
                                "tarv-configurator: cannot append to the journal: " +
                                journal.string() + ": another program has held its lock for 10 s\n");
    EXPECT_GE(waited, 10'000u);
    EXPECT_LT(waited, 11'000u);  // the write itself takes under a second
    EXPECT_EQ(FileText(journal), "");
}

// The witness's own lines begin with the name of the program that runs it, while the journal names
// that program as it always has.
TEST_F(WitnessPolicyTest, ItsLinesNameTheProgramThatRunsIt)
{
    struct Case {
        const char* program;  // as the journal names it
        std::string name;     // as the witness's lines do
        WitnessPolicy policy;
    };
    const Case cases[] = {
        {"cli", "tarv-cli", WitnessPolicy::Required},
        {"window", "tarv-configurator-demo", WitnessPolicy::BestEffort},
    };
    const eeprom::Image before = sim::Format2Image();
    const WrittenEncoder encoder{"program", "COM3", "KV24", "AB1234", {}};
    int port = 20;
    for (const Case& c : cases) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        const std::filesystem::path journal = root_ / "journal.jsonl";
        std::ofstream(journal) << "";
        const std::string portName = "COM" + std::to_string(port++);
        AddAdapter(portName, before);
        OpenPort(portName);
        std::ostringstream errors;
        StoreWitness store(root_, c.program, {errors, c.name}, c.policy, [] { return int64_t{1'700'000'000}; });
        store.WaitForLocksAs({{}, {}, &host});  // told by the witness itself, on the virtual clock

        auto held = std::make_unique<HeldLock>(journal);
        ASSERT_TRUE(held->Holding()) << c.name;
        EXPECT_EQ(WriteAndVerify(before, encoder, before, &store).result, ProgramResult::Done) << c.name;
        std::string told =
            c.name + ": waiting for " + journal.string() + ": another program holds its lock (up to 10 s)\n";
        // Under the required policy the lost line is the caller's to tell.
        if (c.policy == WitnessPolicy::BestEffort)
            told += c.name + ": cannot append to the journal: " + journal.string() +
                    ": another program has held its lock for 10 s\n";
        EXPECT_EQ(errors.str(), told) << c.name;

        held.reset();
        EXPECT_EQ(WriteAndVerify(before, encoder, before, &store).result, ProgramResult::Done) << c.name;
        const nlohmann::json line = nlohmann::json::parse(FileText(journal), nullptr, false);
        ASSERT_TRUE(line.is_object()) << c.name << ": " << FileText(journal);
        EXPECT_EQ(line["program"], c.program) << c.name;
        ClosePort();
    }
}

}  // namespace
