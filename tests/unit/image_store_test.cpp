// The image store's files: their names, a store cut off before its rename, the journal's lines,
// the data folder, and the wire trace's line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "commands/image_store.h"
#include "commands/iso_time.h"
#include "commands/wire_trace.h"
#include "support/text_files.h"

namespace {

constexpr int64_t kNoon = 1'714'564'800;  // 2024-05-01T12:00:00Z

class ImageStoreTest : public ::testing::Test {
protected:
    ImageStoreTest()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() / (std::string("tarv-store-") + test->name());
        std::filesystem::remove_all(folder_);
    }
    ~ImageStoreTest() override { std::filesystem::remove_all(folder_); }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(store::ImagesFolder(folder_), ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path folder_;
    eeprom::Image image_ = [] {
        eeprom::Image bytes{};
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
        return bytes;
    }();
};

TEST_F(ImageStoreTest, NamesKeepOnlySafeCharactersAndNameTheBlankUnknown)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"KV24", "KV24"},      {"AB 12/3", "AB_12_3"}, {"x-y_z", "x-y_z"}, {"../..", "unknown"}, {"a/../b", "a____b"},
        {"", "unknown"},       {"   ", "unknown"},     {"__-", "unknown"}, {"\xC2\xB5m", "__m"},
        {"\xC2\xB5", "unknown"},
    };
    for (const auto& [text, part] : cases) EXPECT_EQ(store::FileNamePart(text), part) << text;
    EXPECT_EQ(store::ImageFileName("KV24", "AB1234", kNoon), "KV24-AB1234-20240501T120000Z.bin");
    EXPECT_EQ(store::ImageFileName("", "A/B", kNoon, 3), "unknown-A_B-20240501T120000Z-3.bin");
}

TEST_F(ImageStoreTest, AnImageIsKeptWholeAndATakenNameGetsANumber)
{
    for (int i = 0; i < 3; ++i) {
        const store::KeptImage kept = store::KeepImage(folder_, image_, "KV24", "AB1234", kNoon);
        EXPECT_TRUE(kept.error.empty()) << kept.error;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"KV24-AB1234-20240501T120000Z-2.bin",
                                                  "KV24-AB1234-20240501T120000Z-3.bin",
                                                  "KV24-AB1234-20240501T120000Z.bin"}));
    EXPECT_EQ(FileText(store::ImagesFolder(folder_) / "KV24-AB1234-20240501T120000Z-3.bin"),
              std::string(image_.begin(), image_.end()));
}

TEST_F(ImageStoreTest, AStoreCutOffBeforeItsRenameLeavesNoPartialImage)
{
    const store::KeptImage kept = store::KeepImage(folder_, image_, "KV24", "AB1234", kNoon,
                                                   [](const auto&, const auto&) { return false; });
    EXPECT_TRUE(kept.fileName.empty());
    EXPECT_NE(kept.error.find("KV24-AB1234-20240501T120000Z.bin"), std::string::npos) << kept.error;
    EXPECT_TRUE(Files().empty());
}

TEST_F(ImageStoreTest, TheJournalGetsOneLinePerWriteInItsOrderOfFields)
{
    store::JournalEntry entry;
    entry.time = UtcTimestamp(kNoon);
    entry.program = "window";
    entry.command = "repair";
    entry.port = "COM3";
    entry.product = "HXD3";
    entry.serial = "";
    entry.result = "ok";
    ASSERT_EQ(store::AppendToJournal(folder_, entry), "");
    entry.image = "HXD3-unknown-20240501T120000Z.bin";
    ASSERT_EQ(store::AppendToJournal(folder_, entry), "");
    EXPECT_EQ(Lines(FileText(store::JournalPath(folder_))),
              (std::vector<std::string>{
                  R"({"time":"2024-05-01T12:00:00Z","program":"window","command":"repair","port":"COM3","product":"HXD3","serial":"","before":null,"after":null,"result":"ok","image":null})",
                  R"({"time":"2024-05-01T12:00:00Z","program":"window","command":"repair","port":"COM3","product":"HXD3","serial":"","before":null,"after":null,"result":"ok","image":"HXD3-unknown-20240501T120000Z.bin"})"}));
}

#ifndef _WIN32
TEST_F(ImageStoreTest, TheDataFolderIsTarvDataDirThenXdgThenHome)
{
    const auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return std::pair<std::string, bool>(value ? value : "", value != nullptr);
    };
    const auto restore = [](const char* name, const std::pair<std::string, bool>& value) {
        if (value.second)
            setenv(name, value.first.c_str(), 1);
        else
            unsetenv(name);
    };
    const auto data = keep("TARV_DATA_DIR"), xdg = keep("XDG_DATA_HOME"), home = keep("HOME");
    setenv("TARV_DATA_DIR", "/d", 1);
    setenv("XDG_DATA_HOME", "/x", 1);
    setenv("HOME", "/h", 1);
    EXPECT_EQ(store::DataFolder(), "/d");
    unsetenv("TARV_DATA_DIR");
    EXPECT_EQ(store::DataFolder(), "/x/tarv-configurator");
    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(store::DataFolder(), "/h/.local/share/tarv-configurator");
    restore("TARV_DATA_DIR", data);
    restore("XDG_DATA_HOME", xdg);
    restore("HOME", home);
}
#endif

TEST(WireTraceTest, ALineIsTheTimeThePortTheDirectionAndTheBytes)
{
    const uint8_t bytes[] = {0x5A, 0x01, 0x00, 0x00};
    EXPECT_EQ(WireTraceLine(12.345, "ttyUSB0", '>', bytes), "12.3 ttyUSB0 > 5A 01 00 00");
    EXPECT_EQ(WireTraceLine(0, "COM3", 'x', std::span(bytes).first(1)), "0.0 COM3 x 5A");
}

}  // namespace
