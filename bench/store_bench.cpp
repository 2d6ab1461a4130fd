// tarv-store-bench: what keeping an image and journalling its write costs on this machine's disk,
// as tarv-cli and the window do it before the first block and after the last (KeepImage and
// AppendToJournal: files and folder synced, the journal locked), against the same files written
// the way the store wrote them before it synced anything (stdio, rename, an append).
//   tarv-store-bench [--runs N] [--folder DIR]   (DIR: where the store goes; default here)
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "commands/image_store.h"
#include "commands/iso_time.h"

using namespace commands;

namespace {
namespace fs = std::filesystem;

constexpr int64_t kFirstSecond = 1'714'564'800;  // 2024-05-01T12:00:00Z; every run a second later
constexpr long kTmpfsMagic = 0x01021994;
constexpr long kExtMagic = 0xEF53;

struct Options {
    int runs = 50;
    fs::path folder = fs::current_path();
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--runs") options.runs = std::atoi(argv[i + 1]);
        if (name == "--folder") options.folder = argv[i + 1];
    }
    return options;
}

eeprom::Image SomeImage()
{
    eeprom::Image image{};
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    return image;
}

store::JournalEntry SomeEntry(int64_t second, const std::string& image)
{
    store::JournalEntry entry;
    entry.time = UtcTimestamp(second);
    entry.program = "cli";
    entry.command = "program";
    entry.port = "ttyUSB0";
    entry.product = "KV24";
    entry.serial = "AB1234";
    entry.result = "ok";
    entry.image = image;
    return entry;
}

// The store as it was: an image written, flushed by the C library only and renamed; a line appended.
bool KeepUnsynced(const fs::path& data, const eeprom::Image& image, int64_t second)
{
    const fs::path folder = store::ImagesFolder(data);
    fs::create_directories(folder);
    const std::string name = store::ImageFileName("KV24", "AB1234", second);
    const fs::path partial = folder / (name + ".partial");
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) return false;
    std::error_code error;
    fs::rename(partial, folder / name, error);
    std::FILE* journal = std::fopen(store::JournalPath(data).c_str(), "ab");
    if (error || journal == nullptr) return false;
    const std::string line = store::JournalLine(SomeEntry(second, name)) + "\n";
    const bool appended = std::fwrite(line.data(), 1, line.size(), journal) == line.size();
    return std::fclose(journal) == 0 && appended;
}

bool KeepSynced(const fs::path& data, const eeprom::Image& image, int64_t second)
{
    return !store::KeepImage(data, image, "KV24", "AB1234", second).fileName.empty();
}

bool JournalSynced(const fs::path& data, const eeprom::Image&, int64_t second)
{
    return store::AppendToJournal(data, SomeEntry(second, store::ImageFileName("KV24", "AB1234", second))).empty();
}

// What one row times, and what its runs gave.
struct Row {
    Row(const char* what, const char* folder, std::function<bool(const fs::path&, const eeprom::Image&, int64_t)> keep)
        : what(what), folder(folder), keep(std::move(keep))
    {
    }

    const char* what;
    const char* folder;  // its own data folder in the scratch folder
    std::function<bool(const fs::path&, const eeprom::Image&, int64_t)> keep;
    std::vector<double> ms;
    int failures = 0;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string FileSystemOf(const fs::path& folder)
{
    struct statfs about {};
    if (statfs(folder.c_str(), &about) != 0) return "unknown";
    if (static_cast<long>(about.f_type) == kTmpfsMagic) return "tmpfs (memory: syncing costs nothing there)";
    if (static_cast<long>(about.f_type) == kExtMagic) return "ext2/3/4";
    char magic[32];
    std::snprintf(magic, sizeof magic, "type 0x%lx", static_cast<unsigned long>(about.f_type));
    return magic;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    std::string pattern = (options.folder / "tarv-store-bench-XXXXXX").string();
    if (options.runs < 1 || mkdtemp(pattern.data()) == nullptr) {
        std::perror("tarv-store-bench: a scratch folder");
        return 1;
    }
    const fs::path scratch = pattern;
    const eeprom::Image image = SomeImage();
    Row rows[] = {
        {"KeepImage: image written, synced, named, folder synced (before the first block)", "synced", KeepSynced},
        {"AppendToJournal: line appended under the lock, synced (after the last block)", "synced", JournalSynced},
        {"both unsynced, as the store wrote them before (stdio write, rename, append)", "unsynced", KeepUnsynced},
    };
    // Alternating, so that both meet the same load.
    for (int run = -1; run < options.runs; ++run) {
        for (Row& row : rows) {
            const fs::path data = scratch / row.folder;
            const auto start = std::chrono::steady_clock::now();
            const bool kept = row.keep(data, image, kFirstSecond + run + 1);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            if (run < 0) continue;  // warm-up: the folders are made
            row.ms.push_back(ms);
            row.failures += !kept;
        }
    }
    std::printf("tarv-store-bench: %d runs in %s (%s)\n\n", options.runs, scratch.c_str(),
                FileSystemOf(scratch).c_str());
    std::printf("| What | Median (ms) | Min-max (ms) | Failed |\n|---|---:|---:|---:|\n");
    int failed = 0;
    for (const Row& row : rows) {
        const auto [least, most] = std::minmax_element(row.ms.begin(), row.ms.end());
        std::printf("| %s | %.2f | %.2f-%.2f | %d |\n", row.what, Median(row.ms), *least, *most, row.failures);
        failed += row.failures;
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return failed == 0 ? 0 : 1;
}
