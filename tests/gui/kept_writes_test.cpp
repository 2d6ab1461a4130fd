// The window keeps every encoder's image before it writes and journals the write, silently: the
// same frames on the wire, no box, nothing on screen; a store that cannot be written costs one
// line on standard error and nothing else.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commands/image_store.h"
#include "commands/write_witness.h"
#include "gui/form_fixture.h"
#include "support/text_files.h"

using namespace commands;

namespace {

constexpr int64_t kNoon = 1'714'564'800;  // 2024-05-01T12:00:00Z

class KeptWritesTest : public FormTest {
protected:
    KeptWritesTest()
    {
        std::filesystem::remove_all(folder_);
        writeWitness = &witness_;
    }
    ~KeptWritesTest() override { std::filesystem::remove_all(folder_); }

    std::vector<std::filesystem::path> Images() const
    {
        std::vector<std::filesystem::path> images;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(store::ImagesFolder(folder_), ignored))
            images.push_back(entry.path());
        return images;
    }

    std::vector<nlohmann::json> Journal() const
    {
        std::vector<nlohmann::json> lines;
        for (const std::string& line : Lines(FileText(store::JournalPath(folder_))))
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    // The frames of PROG on a fresh encoder with this test's settings, and whether a box showed.
    std::vector<Bytes> ProgFrames(bool keeping)
    {
        writeWitness = keeping ? &witness_ : nullptr;
        auto adapter = SeenEncoder(sim::Format2Image());
        Pick(Get<QComboBox>("CmbBoxRes"), 14);
        adapter->ClearLog();
        form->BtnProgClick();
        EXPECT_TRUE(host.messages().empty());
        writeWitness = &witness_;
        return adapter->Frames();
    }

    // A folder of this test's own: ctest runs the tests side by side.
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        (std::string("tarv-gui-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::ostringstream errors_;
    StoreWitness witness_{
        folder_, "window", {errors_, "tarv-configurator"}, WitnessPolicy::BestEffort, [] { return kNoon; }};
};

TEST_F(KeptWritesTest, ProgKeepsTheImageAndJournalsItWithTheSameFramesOnTheWire)
{
    const std::vector<Bytes> without = ProgFrames(false);
    form.reset();
    ResetProgramState();
    const std::vector<Bytes> with = ProgFrames(true);

    EXPECT_EQ(with, without);
    ASSERT_EQ(Images().size(), 1u);
    const eeprom::Image original = sim::Format2Image();
    EXPECT_EQ(FileText(Images()[0]), std::string(original.begin(), original.end()));
    const std::vector<nlohmann::json> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["program"], "window");
    EXPECT_EQ(journal[0]["command"], "program");
    EXPECT_EQ(journal[0]["port"], "COM3");
    EXPECT_EQ(journal[0]["result"], "ok");
    EXPECT_EQ(journal[0]["image"], "KV24-AB1234-20240501T120000Z.bin");
    EXPECT_EQ(journal[0]["before"]["resolution"]["designation"], "12B");
    EXPECT_NE(journal[0]["after"]["resolution"]["designation"], "12B");
    EXPECT_TRUE(errors_.str().empty());
}

TEST_F(KeptWritesTest, ReadsRepairOfABlankRecordIsKeptAsARepair)
{
    const eeprom::Image blank = sim::BlankImage(0xFF, sim::MakeConfigBlock(0x10, false, 10));
    auto adapter = OpenAdapter(blank);
    MakeForm();
    DeviceModel.WatchIdle = true;
    form->BtnReadClick();

    ASSERT_EQ(Images().size(), 1u);
    // Named by the product the repair gives it; the bytes are the blank record as read.
    EXPECT_EQ(Images()[0].filename(), "HXD3-unknown-20240501T120000Z.bin");
    EXPECT_EQ(FileText(Images()[0]), std::string(blank.begin(), blank.end()));
    const std::vector<nlohmann::json> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["command"], "repair");
    EXPECT_EQ(journal[0]["result"], "ok");
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(KeptWritesTest, AStoreThatCannotBeWrittenCostsOneLineAndTheProgGoesOn)
{
    std::filesystem::create_directories(folder_.parent_path());
    std::ofstream(folder_.string());  // a file where the folder should be
    auto adapter = SeenEncoder(sim::Format2Image());
    form->BtnProgClick();

    EXPECT_EQ(adapter->FramesOf(sim::RequestKind::EepromWrite).size(), 16u);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(Lines(errors_.str()).size(), 2u);  // the image, then the journal line
    EXPECT_EQ(errors_.str().rfind("tarv-configurator: cannot keep the encoder's image: ", 0), 0u);
    std::filesystem::remove(folder_);
}

}  // namespace
