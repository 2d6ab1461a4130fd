#include "commands/image_store.h"

#include <cstdlib>
#include <vector>

#include "commands/iso_time.h"
#include "commands/json_lines.h"
#include "commands/settings_json.h"
#include "commands/temporary_file.h"
#include "platform/durable_files.h"
#include "platform/user_folders.h"

namespace commands {

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

constexpr const char* kNoDataFolder = "no data folder (set TARV_DATA_DIR)";

bool Exists(const std::filesystem::path& path)
{
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// Why `folder` could not be made: what is in its way, when a system's words would only say
// "File exists" of it.
std::string WhyNoFolder(const std::filesystem::path& folder, const std::error_code& error)
{
    for (std::filesystem::path path = folder; !path.empty(); path = path.parent_path()) {
        if (std::string dangling = platform::DanglingLink(path); !dangling.empty()) return dangling;
        if (path == path.parent_path()) break;
    }
    return folder.string() + ": " + error.message();
}

// Makes `folder` and the folders above it that are missing, each new entry on disk: an image in
// a folder whose own entry was lost would be lost with it.
std::string MakeFolder(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path path = folder; !path.empty() && !Exists(path); path = path.parent_path()) {
        missing.push_back(path);
        if (path == path.parent_path()) break;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return WhyNoFolder(folder, error);
    for (const std::filesystem::path& made : missing)
        if (std::string failure = platform::SyncFolder(made.parent_path()); !failure.empty()) return failure;
    return {};
}

// Gives the temporary the first image name that no file has; a name is taken without replacing
// its file, so a writer that lost the race for one goes on to the next.
KeptImage GiveImageName(const std::filesystem::path& temporary, std::string_view product, std::string_view serial,
                        int64_t unixSeconds, const RenameFile& rename)
{
    const std::filesystem::path folder = temporary.parent_path();
    for (int duplicate = 1;; ++duplicate) {
        const std::string name = ImageFileName(product, serial, unixSeconds, duplicate);
        if (rename(temporary, folder / name)) {
            if (std::string error = platform::SyncFolder(folder); !error.empty()) return {{}, error};
            return {name, {}};
        }
        if (!Exists(folder / name)) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);  // our own: no other writer has it
            return {{}, (folder / name).string() + ": the image could not be given its name"};
        }
    }
}
}  // namespace

std::filesystem::path DataFolder()
{
    if (auto folder = FromEnvironment("TARV_DATA_DIR")) return *folder;
    const std::filesystem::path home = platform::UserDataHome();
    return home.empty() ? home : home / kFolderName;
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

bool NameIfFree(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return platform::NameWithoutReplacing(from, to).named;
}

std::string MakeImagesFolder(const std::filesystem::path& dataFolder)
{
    return dataFolder.empty() ? kNoDataFolder : MakeFolder(ImagesFolder(dataFolder));
}

KeptImage KeepImage(const std::filesystem::path& dataFolder, const eeprom::Image& memory, std::string_view product,
                    std::string_view serial, int64_t unixSeconds, const RenameFile& rename)
{
    if (std::string error = MakeImagesFolder(dataFolder); !error.empty()) return {{}, error};
    const std::filesystem::path folder = ImagesFolder(dataFolder);
    const TemporaryFile temporary = WriteTemporaryBeside(folder / ImageFileName(product, serial, unixSeconds), memory);
    if (!temporary.error.empty()) return {{}, temporary.error};
    return GiveImageName(temporary.path, product, serial, unixSeconds, rename);
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

std::string CheckJournal(const std::filesystem::path& dataFolder, const platform::LockWait& wait)
{
    if (dataFolder.empty()) return kNoDataFolder;
    if (std::string error = MakeFolder(dataFolder); !error.empty()) return error;
    return CheckAppendable(JournalPath(dataFolder).string(), platform::AppendTarget::RegularFileOnly, wait);
}

std::string AppendToJournal(const std::filesystem::path& dataFolder, const JournalEntry& entry,
                            const platform::LockWait& wait)
{
    if (dataFolder.empty()) return kNoDataFolder;
    if (std::string error = MakeFolder(dataFolder); !error.empty()) return error;
    return AppendLine(JournalPath(dataFolder).string(), JournalLine(entry), platform::AppendTarget::RegularFileOnly,
                      wait);
}

}  // namespace store

}  // namespace commands
