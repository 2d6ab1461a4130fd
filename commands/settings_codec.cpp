#include "commands/settings_codec.h"

#include "commands/settings_tables.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

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
    // Family B wins when flags of both families are set.
    ProductFamily family = ProductFamily::None;
    for (int model = 0; model < kProductModelCount; ++model) {
        if (!FlagSet(static_cast<ProductModel>(model))) continue;
        if (FamilyOfModel(model) == ProductFamily::B) return ProductFamily::B;
        family = FamilyOfModel(model);
    }
    return family;
}

const std::array<const char*, 2>& DirectionRows(ProductFamily family)
{
    return family == ProductFamily::B ? kDirectionRowsB : kDirectionRowsA;
}

const char* ResolutionText(int row, ProductFamily family)
{
    return kResolutionRows.at(static_cast<size_t>(row)).Text(family);
}

uint8_t StoredEdgeTableId()
{
    return EdgeTableIdOf(EdgeSeparationValue(DeviceModel.ConfigBlock));
}

SettingLists PlanSettingLists()
{
    DeviceModel.EdgeTableId = StoredEdgeTableId();
    return {DeviceModel.EdgeTableId, FamilyOfFlags()};
}

SettingRows RowsOfSettings()
{
    const auto& config = DeviceModel.ConfigBlock;
    return {ResolutionRowOfCode(config[eeprom::kResolutionByte] & eeprom::kResolutionMask),
            EdgeRowOfValue(DeviceModel.EdgeTableId, EdgeSeparationValue(config)),
            (config[eeprom::kDirectionByte] & eeprom::kDirectionMask) ? 1 : 0};
}

void SetResolution(const ResolutionRow& resolution)
{
    if (const MessageText* warning = ResolutionWarning(resolution)) Show(*warning);
    WriteBits(eeprom::kResolutionByte, eeprom::kResolutionMask, resolution.code);
}

void SetEdgeSeparation(const EdgeSeparationRow& edgeSeparation)
{
    WriteBits(eeprom::kEdgeModeByte, eeprom::kEdgeModeMask, edgeSeparation.modeBits);
    DeviceModel.ConfigBlock[eeprom::kEdgeSeparationCountByte] = edgeSeparation.count;
}

void SetDirection(Direction direction)
{
    WriteBits(eeprom::kDirectionByte, eeprom::kDirectionMask,
              DirectionBit(direction, FamilyOfFlags()) ? eeprom::kDirectionMask : 0);
}

bool SetEdgeSeparationNanoseconds(int nanoseconds)
{
    const uint8_t table = StoredEdgeTableId();
    const int row = EdgeRowOfNanoseconds(table, nanoseconds);
    if (row < 0) return false;
    SetEdgeSeparation(EdgeTable(table)[row]);
    return true;
}

void PickResolutionRow(int row)
{
    if (row >= 0 && row < static_cast<int>(kResolutionRows.size())) SetResolution(kResolutionRows[row]);
}

void PickEdgeSeparationRow(int row)
{
    const auto table = EdgeTable(DeviceModel.EdgeTableId);
    if (row >= 0 && row < static_cast<int>(table.size())) SetEdgeSeparation(table[row]);
}

void PickDirectionRow(int row)
{
    if (row == 0 || row == 1) SetDirection(DirectionOfBit(row == 1, FamilyOfFlags()));
}

}  // namespace commands
