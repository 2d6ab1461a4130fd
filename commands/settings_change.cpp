#include "commands/settings_change.h"

#include "commands/device_watch.h"

namespace commands {

namespace {
void WriteBits(ConfigBytes& config, int byte, uint8_t mask, uint8_t bits)
{
    config[byte] = static_cast<uint8_t>((config[byte] & ~mask) | (bits & mask));
}
}  // namespace

EncoderLists ListsOf(const DecodedEncoder& encoder)
{
    EncoderLists lists;
    lists.model = ProductModelOfName(encoder.record.productName);
    lists.family = FamilyOfModel(lists.model);
    lists.edgeTable = EdgeTableIdOf(encoder.settings.edgeSeparationValue);
    return lists;
}

std::optional<ChangeRefusal> WhyNot(const SettingsChange& change, const EncoderLists& lists)
{
    if (lists.model < 0) return ChangeRefusal::UnknownProduct;
    if (const auto& resolution = change.resolution;
        resolution && resolution->namedFor != ProductFamily::None && resolution->namedFor != lists.ListedFamily())
        return ChangeRefusal::ResolutionOfOtherFamily;
    if (change.edgeNanoseconds) {
        if (lists.edgeTable == 0) return ChangeRefusal::EdgeTableUnknown;
        if (EdgeRowOfNanoseconds(lists.edgeTable, *change.edgeNanoseconds) < 0) return ChangeRefusal::EdgeNotInTable;
    }
    return std::nullopt;
}

ConfigBytes Applied(const SettingsChange& change, const EncoderLists& lists, const ConfigBytes& config)
{
    ConfigBytes changed = config;
    if (change.resolution)
        WriteBits(changed, eeprom::kResolutionByte, eeprom::kResolutionMask,
                  kResolutionRows.at(static_cast<size_t>(change.resolution->row)).code);
    if (change.edgeNanoseconds) {
        const int row = EdgeRowOfNanoseconds(lists.edgeTable, *change.edgeNanoseconds);
        const EdgeSeparationRow& edge = EdgeTable(lists.edgeTable)[static_cast<size_t>(row)];
        WriteBits(changed, eeprom::kEdgeModeByte, eeprom::kEdgeModeMask, edge.modeBits);
        changed[eeprom::kEdgeSeparationCountByte] = edge.count;
    }
    if (change.direction)
        WriteBits(changed, eeprom::kDirectionByte, eeprom::kDirectionMask,
                  DirectionBit(*change.direction, lists.family) ? eeprom::kDirectionMask : 0);
    return changed;
}

std::vector<Setting> SettingsThatDiffer(const SettingsChange& change, const EncoderLists& lists,
                                        const ConfigBytes& config)
{
    // Each setting applied on its own: the bits it sets are its own, whatever the others hold.
    std::vector<Setting> differ;
    const auto check = [&](Setting setting, const SettingsChange& alone) {
        if (Applied(alone, lists, config) != config) differ.push_back(setting);
    };
    if (change.resolution) check(Setting::Resolution, {change.resolution, std::nullopt, std::nullopt});
    if (change.edgeNanoseconds) check(Setting::EdgeSeparation, {std::nullopt, change.edgeNanoseconds, std::nullopt});
    if (change.direction) check(Setting::Direction, {std::nullopt, std::nullopt, change.direction});
    return differ;
}

SettingsChange SettingsOf(const DecodedEncoder& encoder)
{
    const EncoderLists lists = ListsOf(encoder);
    const SettingsFields& stored = encoder.settings;
    SettingsChange settings;
    if (const int row = ResolutionRowOfCode(stored.resolutionCode); row >= 0)
        settings.resolution = ResolutionChoice{row};
    if (const int row = EdgeRowOfValue(lists.edgeTable, stored.edgeSeparationValue); row >= 0)
        settings.edgeNanoseconds = EdgeTable(lists.edgeTable)[static_cast<size_t>(row)].nanoseconds;
    settings.direction = DirectionOfBit(stored.directionBit, lists.family);
    return settings;
}

}  // namespace commands
