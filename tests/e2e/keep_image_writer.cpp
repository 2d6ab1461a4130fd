// A writer of the image store for the end-to-end tests: keeps one image of a KV24 AB1234 at a
// fixed second, every byte FILL, and before naming it waits until WRITERS writers have arrived
// in MEETING (each leaves a file there), so that writers started together race for one name.
// Prints the name it kept; exits 1 with the reason when it kept none.
//   tarv-keep-image-writer DATA_FOLDER MEETING_FOLDER FILL WRITERS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include "commands/image_store.h"

using namespace commands;

namespace {

constexpr int64_t kSecond = 1'714'564'800;  // 2024-05-01T12:00:00Z

// Leaves this writer's file and waits for the others' (for long, since a loaded machine may start
// the second writer late; without them it goes on alone).
void Meet(const std::filesystem::path& meeting, const std::string& name, long writers)
{
    std::ofstream(meeting / name) << name;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto arrived = [&] {
        std::filesystem::directory_iterator entries(meeting);
        return std::distance(begin(entries), end(entries));
    };
    while (arrived() < writers && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s DATA_FOLDER MEETING_FOLDER FILL WRITERS\n", argv[0]);
        return 2;
    }
    const std::filesystem::path meeting = argv[2];
    const std::string fill = argv[3];
    const long writers = std::strtol(argv[4], nullptr, 10);
    eeprom::Image image;
    image.fill(static_cast<uint8_t>(std::strtol(fill.c_str(), nullptr, 0)));

    bool met = false;
    const store::RenameFile afterMeeting = [&](const std::filesystem::path& from, const std::filesystem::path& to) {
        if (!std::exchange(met, true)) Meet(meeting, fill, writers);
        return store::NameIfFree(from, to);
    };
    const store::KeptImage kept = store::KeepImage(argv[1], image, "KV24", "AB1234", kSecond, afterMeeting);
    if (kept.fileName.empty()) {
        std::fprintf(stderr, "%s\n", kept.error.c_str());
        return 1;
    }
    std::printf("%s\n", kept.fileName.c_str());
    return 0;
}
