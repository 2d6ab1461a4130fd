// Reading the journal back: its lines as records, the filters, the lines that cannot be read
// counted, and a journal that is there but cannot be read told apart from none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/image_store.h"
#include "commands/journal_reading.h"

using namespace commands;

namespace {

class JournalReadingTest : public ::testing::Test {
protected:
    JournalReadingTest()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() / (std::string("tarv-journal-") + test->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    ~JournalReadingTest() override { std::filesystem::remove_all(folder_); }

    // As the journal is written: line ends as they are, on every system.
    void WriteJournal(const std::string& text) const
    {
        std::ofstream(store::JournalPath(folder_), std::ios::binary) << text;
    }

    static std::vector<std::string> Texts(const store::JournalReading& reading)
    {
        std::vector<std::string> texts;
        for (const store::JournalRecord& record : reading.records) texts.push_back(record.text);
        return texts;
    }

    std::filesystem::path folder_;
};

TEST_F(JournalReadingTest, GivesTheWantedLinesInOrderAndCountsThoseItCannotRead)
{
    const std::string first = R"({"product":"KV24","serial":"AB0001","result":"ok"})";
    const std::string second = R"({"product":"kv26","serial":"AB0002","image":null})";
    const std::string third = R"({"product":"KV24","serial":"AB0002","counter":7})";
    WriteJournal(first + "\n[1, 2]\n" + second + "\n" + third + "\n{\"time\": \"2024-05-0");

    struct Case {
        const char* what;
        store::JournalFilter filter;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"all", {}, {first, second, third}},
        {"a serial", {"AB0002", ""}, {second, third}},
        {"a product in any case", {"", "KV26"}, {second}},
        {"both", {"AB0002", "kv24"}, {third}},
        {"a serial as stored only", {"ab0001", ""}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const store::JournalReading reading = store::ReadJournal(folder_, c.filter);
        EXPECT_FALSE(reading.missing);
        EXPECT_EQ(reading.error, "");
        EXPECT_EQ(Texts(reading), c.texts);
        EXPECT_EQ(reading.unreadableLines, 2);  // a foreign line and one torn at a crash, wanted or not
    }
    const store::JournalReading all = store::ReadJournal(folder_);
    ASSERT_EQ(all.records.size(), 3u);
    EXPECT_EQ(store::JournalField(all.records[0].fields, "result"), "ok");
    EXPECT_EQ(store::JournalField(all.records[1].fields, "image"), "-");
    EXPECT_EQ(store::JournalField(all.records[1].fields, "time"), "-");
    EXPECT_EQ(store::JournalField(all.records[2].fields, "counter"), "7");
}

TEST_F(JournalReadingTest, TellsNoJournalFromOneThatCannotBeRead)
{
    const store::JournalReading none = store::ReadJournal(folder_);
    EXPECT_TRUE(none.missing);
    EXPECT_EQ(none.error, "");

    std::filesystem::create_directories(store::JournalPath(folder_));
    const store::JournalReading folder = store::ReadJournal(folder_);
    EXPECT_FALSE(folder.missing);
    EXPECT_EQ(folder.error, "not a regular file");
    EXPECT_TRUE(folder.records.empty());
}

}  // namespace
