// The image store's files: their names, a store cut off before its rename, the journal's lines,
// the data folder, and the wire trace's line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "commands/image_store.h"
#include "commands/iso_time.h"
#include "commands/wire_trace.h"
#include "support/text_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace commands;

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

// Two stations keeping the same encoder in the same second: both have written their temporary
// before either takes a name.
TEST_F(ImageStoreTest, TwoWritersOfOneEncoderInOneSecondKeepTwoImagesEachWithItsOwnBytes)
{
    // Each writer waits for the other before its first name only (at most a while: a writer that
    // failed before its name never comes); the loser tries "-2" at once.
    std::mutex mutex;
    std::condition_variable arrived;
    int writers = 0;
    const auto together = [&] {
        return store::RenameFile([&, waited = false](const auto& from, const auto& to) mutable {
            if (!std::exchange(waited, true)) {
                std::unique_lock lock(mutex);
                ++writers;
                arrived.notify_all();
                arrived.wait_for(lock, std::chrono::seconds(10), [&] { return writers == 2; });
            }
            return store::NameIfFree(from, to);
        });
    };
    eeprom::Image other = image_;
    other.fill(0xA5);
    store::KeptImage kept[2];
    std::thread second([&] { kept[1] = store::KeepImage(folder_, other, "KV24", "AB1234", kNoon, together()); });
    kept[0] = store::KeepImage(folder_, image_, "KV24", "AB1234", kNoon, together());
    second.join();

    ASSERT_EQ(kept[0].error + kept[1].error, "");
    EXPECT_NE(kept[0].fileName, kept[1].fileName);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"KV24-AB1234-20240501T120000Z-2.bin", "KV24-AB1234-20240501T120000Z.bin"}));
    EXPECT_EQ(FileText(store::ImagesFolder(folder_) / kept[0].fileName), std::string(image_.begin(), image_.end()));
    EXPECT_EQ(FileText(store::ImagesFolder(folder_) / kept[1].fileName), std::string(other.begin(), other.end()));
}

// A leftover of a crash, or a link put where a temporary or an image would go, is neither opened
// nor replaced nor removed: the image goes under another name.
TEST_F(ImageStoreTest, WhatIsAlreadyInTheImagesFolderIsNeverOpenedOrReplaced)
{
    const std::filesystem::path images = store::ImagesFolder(folder_);
    const std::filesystem::path outside = folder_ / "outside.txt";
    struct Case {
        const char* what;
        const char* name;
        bool link;  // a link to `outside` rather than a file
        const char* keptAs;
    };
    std::vector<Case> cases = {
        {"a temporary left by a crash", "KV24-AB1234-20240501T120000Z.bin.1.partial", false,
         "KV24-AB1234-20240501T120000Z.bin"},
    };
#ifndef _WIN32
    cases.push_back({"a link named as the temporary", "KV24-AB1234-20240501T120000Z.bin.1.partial", true,
                     "KV24-AB1234-20240501T120000Z.bin"});
    cases.push_back(
        {"a link named as the image", "KV24-AB1234-20240501T120000Z.bin", true, "KV24-AB1234-20240501T120000Z-2.bin"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(images);
        std::ofstream(outside) << "not an image";
        if (c.link)
            std::filesystem::create_symlink(outside, images / c.name);
        else
            std::ofstream(images / c.name) << "a leftover";

        const store::KeptImage kept = store::KeepImage(folder_, image_, "KV24", "AB1234", kNoon);
        EXPECT_EQ(kept.error, "");
        EXPECT_EQ(kept.fileName, c.keptAs);
        EXPECT_EQ(FileText(images / kept.fileName), std::string(image_.begin(), image_.end()));
        EXPECT_EQ(FileText(outside), "not an image");
        EXPECT_EQ(Files().size(), 2u);
        EXPECT_EQ(c.link ? std::filesystem::is_symlink(images / c.name) : FileText(images / c.name) == "a leftover",
                  true);
    }
}

// The temporary names are bounded as the backup file's are: leftovers under every one of them
// stop the store with words rather than a search without end, and are left as they were.
TEST_F(ImageStoreTest, LeftoversUnderEveryTemporaryNameStopTheStoreAndStay)
{
    const std::filesystem::path images = store::ImagesFolder(folder_);
    std::filesystem::create_directories(images);
    for (int n = 1; n <= 100; ++n)
        std::ofstream(images / ("KV24-AB1234-20240501T120000Z.bin." + std::to_string(n) + ".partial")) << "a leftover";

    const store::KeptImage kept = store::KeepImage(folder_, image_, "KV24", "AB1234", kNoon);
    EXPECT_EQ(kept.error, "no free name for a temporary file beside it");
    EXPECT_TRUE(kept.fileName.empty());
    EXPECT_EQ(Files().size(), 100u);
    EXPECT_EQ(FileText(images / "KV24-AB1234-20240501T120000Z.bin.100.partial"), "a leftover");
}

// The journal is checked before an encoder is written: it must be a regular file (made when there
// is none) that opens for appending; a journal that is not is never appended to either.
TEST_F(ImageStoreTest, TheJournalMustBeARegularFileThatOpensForAppending)
{
    const std::filesystem::path journal = store::JournalPath(folder_);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string reason;  // empty: the journal can take a line
    };
    std::vector<Case> cases = {
        {"none yet", [] {}, ""},
        {"lines", [&] { std::ofstream(journal) << "{}\n"; }, ""},
        {"a folder", [&] { std::filesystem::create_directories(journal); }, journal.string() + ": "},
    };
#ifndef _WIN32
    const std::string notRegular = journal.string() + ": not a regular file";
    cases.push_back(
        {"a link to /dev/full", [&] { std::filesystem::create_symlink("/dev/full", journal); }, notRegular});
    cases.push_back({"a pipe without a reader", [&] { mkfifo(journal.c_str(), 0600); }, notRegular});
    if (geteuid() != 0)  // root may write anything
        cases.push_back({"read-only",
                         [&] {
                             std::ofstream(journal) << "{}\n";
                             std::filesystem::permissions(journal, std::filesystem::perms::owner_read);
                         },
                         journal.string() + ": Permission denied"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        c.make();
        const std::string before = std::filesystem::is_regular_file(journal) ? FileText(journal) : "";

        const std::string checked = store::CheckJournal(folder_);
        EXPECT_EQ(checked.substr(0, c.reason.size()), c.reason);
        EXPECT_EQ(checked.empty(), c.reason.empty()) << checked;
        if (c.reason.empty()) {
            EXPECT_TRUE(std::filesystem::is_regular_file(journal));
            EXPECT_EQ(FileText(journal), before);
        } else {
            EXPECT_EQ(store::AppendToJournal(folder_, store::JournalEntry{}), checked);
        }
    }
    EXPECT_EQ(store::CheckJournal({}), "no data folder (set TARV_DATA_DIR)");
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
