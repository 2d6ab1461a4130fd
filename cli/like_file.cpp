#include "cli/like_file.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/image_file.h"
#include "commands/encoder_report.h"
#include "commands/settings_change.h"

using namespace commands;

namespace cli {
namespace {

// What the file says of each setting: a value as the options take it, or empty when it does not say.
struct SettingWords {
    std::string resolution;
    std::string edgeSeparation;
    std::string direction;
};

// Why the settings that an image holds cannot be taken from it; empty when they can.
std::string WhyUnreadable(const eeprom::Image& image)
{
    const EncoderReport report = DescribeEncoder(image);
    if (report.format != eeprom::kFormat1 && report.format != eeprom::kFormat2) return "its record is blank";
    if (report.model < 0) return "its product is unknown, so its settings cannot be read";
    if (!report.configCrcOk) return "its settings CRC does not hold";
    if (!report.recordChecksumOk) return "its record checksum does not hold";
    return {};
}

Checked<SettingsRequest> Lacks(const std::string& path, const char* what)
{
    return {std::nullopt, "--like: " + path + " has no " + what + " that can be taken"};
}

// The image's settings by what they mean, under those that `given` names already.
Checked<SettingsRequest> SettingsOfImage(const std::string& path, const eeprom::Image& image,
                                         const SettingsRequest& given)
{
    if (const std::string why = WhyUnreadable(image); !why.empty())
        return {std::nullopt, "--like: " + path + ": " + why};
    const SettingsRequest offered = RequestOf(SettingsOf(Decode(image)));
    SettingsRequest request = given;
    if (!request.resolution) {
        if (!offered.resolution) return Lacks(path, "resolution designation");
        request.resolution = offered.resolution;
    }
    if (!request.edgeSeparation) {
        if (!offered.edgeSeparation) return Lacks(path, "edge separation of either table");
        request.edgeSeparation = offered.edgeSeparation;
    }
    if (!request.direction) request.direction = offered.direction;
    return {request, {}};
}

std::string StringAt(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
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

    SettingsRequest request = given;
    const auto lacks = [&path](const char* what) { return Lacks(path, what); };
    if (!request.resolution) {
        if (words->resolution.empty()) return lacks("resolution designation");
        auto parsed = ParseResolution(words->resolution);
        if (!parsed.value) return {std::nullopt, "--like: " + path + ": " + parsed.error};
        request.resolution = parsed.value;
    }
    if (!request.edgeSeparation) {
        if (words->edgeSeparation.empty()) return lacks("edge separation of either table");
        auto parsed = ParseEdgeSeparation(words->edgeSeparation);
        if (!parsed.value) return {std::nullopt, "--like: " + path + ": " + parsed.error};
        request.edgeSeparation = parsed.value;
    }
    if (!request.direction) {
        auto parsed = ParseDirection(words->direction);
        if (!parsed.value) return lacks("direction");
        request.direction = parsed.value;
    }
    return {request, {}};
}

}  // namespace cli
