#include "commands/settings_codec.h"

#include "commands/settings_tables.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace {
bool FlagSet(ProductModel model)
{
    return DeviceModel.ProductFamilyFlags[model] == 1;
}

void WriteBits(int byte, uint8_t mask, uint8_t bits)
{
    uint8_t& stored = DeviceModel.ConfigBlock[byte];
    stored = static_cast<uint8_t>((stored & ~mask) | (bits & mask));
}
}  // namespace

ProductFamily FamilyOfFlags()
{
    if (FlagSet(KV26) || FlagSet(HXD6)) return ProductFamily::B;
    if (FlagSet(KV21) || FlagSet(KV24) || FlagSet(HXD3)) return ProductFamily::A;
    return ProductFamily::None;
}

const std::array<const char*, 2>& DirectionRows(ProductFamily family)
{
    return family == ProductFamily::B ? kDirectionRowsB : kDirectionRowsA;
}

const char* ResolutionText(int row, ProductFamily family)
{
    const ResolutionRow& r = kResolutionRows.at(static_cast<size_t>(row));
    return family == ProductFamily::B ? r.textB : r.textA;
}

SettingLists PlanSettingLists()
{
    DeviceModel.EdgeTableId = EdgeTableIdOf(EdgeSeparationValue(DeviceModel.ConfigBlock));
    return {DeviceModel.EdgeTableId, FamilyOfFlags()};
}

SettingRows RowsOfSettings()
{
    const auto& config = DeviceModel.ConfigBlock;
    return {ResolutionRowOfCode(config[eeprom::kResolutionByte] & eeprom::kResolutionMask),
            EdgeRowOfValue(DeviceModel.EdgeTableId, EdgeSeparationValue(config)),
            (config[eeprom::kDirectionByte] & eeprom::kDirectionMask) ? 1 : 0};
}

void PickResolutionRow(int row)
{
    if (row < 0 || row >= static_cast<int>(kResolutionRows.size())) return;
    if (const MessageText* warning = ResolutionWarning(row)) Show(*warning);
    WriteBits(eeprom::kResolutionByte, eeprom::kResolutionMask, kResolutionRows[row].code);
}

void PickEdgeSeparationRow(int row)
{
    const auto table = EdgeTable(DeviceModel.EdgeTableId);
    if (row < 0 || row >= static_cast<int>(table.size())) return;
    WriteBits(eeprom::kEdgeModeByte, eeprom::kEdgeModeMask, table[row].modeBits);
    DeviceModel.ConfigBlock[eeprom::kEdgeSeparationCountByte] = table[row].count;
}

void PickDirectionRow(int row)
{
    if (row == 0) WriteBits(eeprom::kDirectionByte, eeprom::kDirectionMask, 0);
    if (row == 1) WriteBits(eeprom::kDirectionByte, eeprom::kDirectionMask, eeprom::kDirectionMask);
}
