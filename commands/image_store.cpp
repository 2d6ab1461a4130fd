#include "commands/image_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands/iso_time.h"
#include "commands/json_lines.h"
#include "commands/settings_json.h"

namespace store {
namespace {
constexpr const char* kFolderName = "tarv-configurator";

std::optional<std::filesystem::path> FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::filesystem::path(value);
}

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// YYYYMMDDTHHMMSSZ: the ISO 8601 time without its separators, as a file name carries it.
std::string CompactTime(int64_t unixSeconds)
{
    std::string compact;
    for (const char c : UtcTimestamp(unixSeconds))
        if (c != '-' && c != ':') compact += c;
    return compact;
}

std::string WriteFile(const std::filesystem::path& path, const eeprom::Image& memory)
{
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) return path.string() + ": " + std::strerror(errno);
    const bool written = std::fwrite(memory.data(), 1, memory.size(), file) == memory.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed ? std::string() : path.string() + ": " + std::strerror(errno);
}
}  // namespace

std::filesystem::path DataFolder()
{
    if (auto folder = FromEnvironment("TARV_DATA_DIR")) return *folder;
#ifdef _WIN32
    if (auto local = FromEnvironment("LOCALAPPDATA")) return *local / kFolderName;
#else
    if (auto xdg = FromEnvironment("XDG_DATA_HOME")) return *xdg / kFolderName;
    if (auto home = FromEnvironment("HOME")) return *home / ".local" / "share" / kFolderName;
#endif
    return {};
}

std::filesystem::path ImagesFolder(const std::filesystem::path& dataFolder)
{
    return dataFolder / "images";
}

std::filesystem::path JournalPath(const std::filesystem::path& dataFolder)
{
    return dataFolder / "journal.jsonl";
}

std::string FileNamePart(std::string_view text)
{
    std::string part;
    bool meaningful = false;
    for (const char c : text) {
        const bool kept = IsAsciiAlnum(c) || c == '-' || c == '_';
        part += kept ? c : '_';
        meaningful = meaningful || IsAsciiAlnum(c);
    }
    return meaningful ? part : "unknown";
}

std::string ImageFileName(std::string_view product, std::string_view serial, int64_t unixSeconds, int duplicate)
{
    // Appended piece by piece: GCC 12 at -O3 warns wrongly about "-" + std::string.
    std::string name = FileNamePart(product);
    for (const std::string& part : {FileNamePart(serial), CompactTime(unixSeconds)}) name.append("-").append(part);
    if (duplicate > 1) name.append("-").append(std::to_string(duplicate));
    return name.append(".bin");
}

bool RenameInPlace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}

KeptImage KeepImage(const std::filesystem::path& dataFolder, const eeprom::Image& memory, std::string_view product,
                    std::string_view serial, int64_t unixSeconds, const RenameFile& rename)
{
    if (dataFolder.empty()) return {{}, "no data folder (set TARV_DATA_DIR)"};
    const std::filesystem::path folder = ImagesFolder(dataFolder);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return {{}, folder.string() + ": " + error.message()};

    std::string name = ImageFileName(product, serial, unixSeconds);
    for (int duplicate = 2; std::filesystem::exists(folder / name, error); ++duplicate)
        name = ImageFileName(product, serial, unixSeconds, duplicate);
    const std::filesystem::path partial = folder / (name + ".partial");
    if (std::string failure = WriteFile(partial, memory); !failure.empty()) {
        std::filesystem::remove(partial, error);
        return {{}, failure};
    }
    if (!rename(partial, folder / name)) {
        std::filesystem::remove(partial, error);
        return {{}, (folder / name).string() + ": the image could not be given its name"};
    }
    return {name, {}};
}

std::string JournalLine(const JournalEntry& entry)
{
    const nlohmann::ordered_json line = {
        {"time", entry.time},
        {"program", entry.program},
        {"command", entry.command},
        {"port", entry.port},
        {"product", entry.product},
        {"serial", entry.serial},
        {"before", SettingsJson(entry.before)},
        {"after", SettingsJson(entry.after)},
        {"result", entry.result},
        {"image", entry.image ? nlohmann::ordered_json(*entry.image) : nlohmann::ordered_json(nullptr)},
    };
    return JsonText(line);
}

std::string AppendToJournal(const std::filesystem::path& dataFolder, const JournalEntry& entry)
{
    if (dataFolder.empty()) return "no data folder (set TARV_DATA_DIR)";
    std::error_code error;
    std::filesystem::create_directories(dataFolder, error);
    if (error) return dataFolder.string() + ": " + error.message();
    return AppendLine(JournalPath(dataFolder).string(), JournalLine(entry));
}

}  // namespace store
