#include "cli/like_file.h"

#include <cmath>
#include <type_traits>
#include <nlohmann/json.hpp>

#include "cli/image_file.h"
#include "commands/settings_change.h"
#include "commands/settings_source.h"

using namespace commands;

namespace cli {
namespace {

// What the file says of each setting: a value as the options take it, or empty when it does not
// say; and what it says of the encoder they come from.
struct SettingWords {
    std::string resolution;
    std::string edgeSeparation;
    std::string direction;
    SettingsSource source;
};

std::string UnreadableText(UnreadableSettings why)
{
    switch (why) {
    case UnreadableSettings::BlankRecord:
        return "its record is blank";
    case UnreadableSettings::NoProduct:
        return "it names no product, so its settings cannot be read";
    case UnreadableSettings::UnknownProduct:
        return "its product is unknown, so its settings cannot be read";
    case UnreadableSettings::ConfigCrcFails:
        return "its settings CRC does not hold";
    case UnreadableSettings::RecordChecksumFails:
        return "its record checksum does not hold";
    case UnreadableSettings::ChecksumsNotSaid:
        return "it does not say that its settings CRC and record checksum hold";
    }
    return {};
}

Checked<SettingsRequest> Unreadable(const std::string& path, UnreadableSettings why)
{
    return {std::nullopt, "--like: " + path + ": " + UnreadableText(why)};
}

Checked<SettingsRequest> Lacks(const std::string& path, const char* what)
{
    return {std::nullopt, "--like: " + path + " has no " + what + " that can be taken"};
}

// The image's settings by what they mean, under those that `given` names already.
Checked<SettingsRequest> SettingsOfImage(const std::string& path, const eeprom::Image& image,
                                         const SettingsRequest& given)
{
    if (const std::optional<UnreadableSettings> why = WhyUnreadable(SourceOfImage(image)))
        return Unreadable(path, *why);
    const SettingsChange offered = SettingsOf(Decode(image));
    SettingsRequest request = given;
    if (!request.change.resolution) {
        if (!offered.resolution) return Lacks(path, "resolution designation");
        request.change.resolution = offered.resolution;
        request.given.resolution = ResolutionDesignation(offered.resolution->row);
    }
    if (!request.change.edgeNanoseconds) {
        if (!offered.edgeNanoseconds) return Lacks(path, "edge separation of either table");
        request.change.edgeNanoseconds = offered.edgeNanoseconds;
        request.given.edgeSeparation = MicrosecondsText(*offered.edgeNanoseconds);
    }
    if (!request.change.direction) request.change.direction = offered.direction;
    return {request, {}};
}

std::string StringAt(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

template <typename T>
std::optional<T> ValueAt(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end()) return std::nullopt;
    if constexpr (std::is_same_v<T, bool>) {
        if (found->is_boolean()) return found->get<bool>();
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (found->is_string()) return found->get<std::string>();
    } else {
        if (found->is_number_unsigned() && found->get<uint64_t>() <= 0xFF) return static_cast<T>(found->get<uint64_t>());
    }
    return std::nullopt;
}

std::optional<SettingWords> WordsOfInfoJson(const std::vector<uint8_t>& bytes)
{
    const nlohmann::json info = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!info.is_object()) return std::nullopt;
    SettingWords words;
    if (const auto resolution = info.find("resolution"); resolution != info.end() && resolution->is_object())
        words.resolution = StringAt(*resolution, "designation");
    if (const auto edge = info.find("edge_separation"); edge != info.end() && edge->is_object()) {
        const auto microseconds = edge->find("microseconds");
        if (microseconds != edge->end() && microseconds->is_number())
            words.edgeSeparation = MicrosecondsText(static_cast<int>(std::lround(microseconds->get<double>() * 1000)));
    }
    words.direction = StringAt(info, "direction");
    words.source = {ValueAt<uint8_t>(info, "format"), ValueAt<std::string>(info, "product"),
                     ValueAt<bool>(info, "config_crc_ok"), ValueAt<bool>(info, "record_checksum_ok")};
    return words;
}

}  // namespace

Checked<SettingsRequest> SettingsLike(const std::string& path, const SettingsRequest& given)
{
    const FileContents file = ReadInputFile(path, kMaxJsonFileBytes);
    if (!file.error.empty()) return {std::nullopt, "--like: " + file.error};
    if (const std::optional<eeprom::Image> image = AsImage(file.bytes)) return SettingsOfImage(path, *image, given);
    const std::optional<SettingWords> words = WordsOfInfoJson(file.bytes);
    if (!words) return {std::nullopt, "--like: " + path + " is neither a 128-byte image nor the output of info --json"};
    if (const std::optional<UnreadableSettings> why = WhyUnreadable(words->source)) return Unreadable(path, *why);

    SettingsRequest request = given;
    const auto lacks = [&path](const char* what) { return Lacks(path, what); };
    if (!request.change.resolution) {
        if (words->resolution.empty()) return lacks("resolution designation");
        if (const std::string error = SetResolution(request, words->resolution); !error.empty())
            return {std::nullopt, "--like: " + path + ": " + error};
    }
    if (!request.change.edgeNanoseconds) {
        if (words->edgeSeparation.empty()) return lacks("edge separation of either table");
        if (const std::string error = SetEdgeSeparation(request, words->edgeSeparation); !error.empty())
            return {std::nullopt, "--like: " + path + ": " + error};
    }
    if (!request.change.direction) {
        auto parsed = ParseDirection(words->direction);
        if (!parsed.value) return lacks("direction");
        request.change.direction = parsed.value;
    }
    return {request, {}};
}

}  // namespace cli
