#include "commands/settings_json.h"

#include "commands/iso_time.h"

namespace commands {

namespace {
using json = nlohmann::ordered_json;

json Microseconds(const std::optional<int>& nanoseconds)
{
    return nanoseconds ? json(*nanoseconds / 1000.0) : json(nullptr);
}
}  // namespace

json TextOrNull(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

json DateJson(int32_t dayNumber)
{
    return dayNumber == 0 ? json(nullptr) : json(IsoDate(dayNumber));
}

json SettingsJson(const SettingsReport& settings)
{
    return {
        {"resolution",
         {{"designation", TextOrNull(settings.ResolutionDesignation())},
          {"text", TextOrNull(settings.ResolutionText())},
          {"code", settings.resolutionCode}}},
        {"edge_separation",
         {{"table", settings.edgeTable == 0 ? json(nullptr) : json(settings.edgeTable)},
          {"text", TextOrNull(settings.EdgeText())},
          {"microseconds", Microseconds(settings.EdgeNanoseconds())},
          {"value", settings.edgeValue}}},
        {"direction", settings.DirectionWord()},
    };
}

json SettingsJson(const std::optional<SettingsReport>& settings)
{
    return settings ? SettingsJson(*settings) : json(nullptr);
}

}  // namespace commands
