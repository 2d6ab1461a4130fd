// The image store with two programs writing at once: two stations keeping the same encoder in
// the same second, both with their temporaries written before either takes a name.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/cli_process.h"
#include "e2e/system_host_support.h"

namespace {
namespace fs = std::filesystem;

TEST(ImageStoreWritersTest, TwoProgramsKeepingOneEncoderInOneSecondBothKeepTheirImage)
{
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    const fs::path data = root.path() / "data";
    const fs::path meeting = root.path() / "meeting";
    fs::create_directories(meeting);
    const char* fills[] = {"0x11", "0x22"};
    std::unique_ptr<CliProcess> writers[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path folder = root.path() / fills[i];
        fs::create_directories(folder);
        writers[i] = std::make_unique<CliProcess>(
            TARV_KEEP_IMAGE_WRITER, std::vector<std::string>{data.string(), meeting.string(), fills[i], "2"}, folder);
    }

    std::string names[2];
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(fills[i]);
        EXPECT_EQ(writers[i]->Wait(std::chrono::seconds(60)), 0) << writers[i]->Err();
        names[i] = writers[i]->Out();
        ASSERT_TRUE(names[i].ends_with(".bin\n")) << names[i];
        names[i].pop_back();
    }
    EXPECT_NE(names[0], names[1]);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(data / "images")) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"KV24-AB1234-20240501T120000Z-2.bin", "KV24-AB1234-20240501T120000Z.bin"}));
    EXPECT_EQ(FileText(data / "images" / names[0]), std::string(128, '\x11'));
    EXPECT_EQ(FileText(data / "images" / names[1]), std::string(128, '\x22'));
}

}  // namespace
