// The three settings lists: filling them for the product family and edge-separation table,
// showing the encoder's codes, and writing the user's picks into ConfigBlock.
#include <QComboBox>

#include "app/Main_Tarv_Config.h"
#include "app/settings_tables.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"

namespace {
void FillResolutionList(QComboBox* list, bool familyB)
{
    list->clear();
    for (const ResolutionRow& row : kResolutionRows) list->addItem(QString::fromUtf8(familyB ? row.textB : row.textA));
    list->setCurrentIndex(-1);
}

void FillDirectionList(QComboBox* list, const std::array<const char*, 2>& rows)
{
    list->clear();
    for (const char* text : rows) list->addItem(text);
    list->setCurrentIndex(-1);
}

void FillEdgeList(QComboBox* list, uint8_t edgeTableId)
{
    list->clear();
    for (const EdgeSeparationRow& row : EdgeTable(edgeTableId)) list->addItem(QString::fromUtf8(row.text));
    list->setCurrentIndex(-1);
}

bool FlagSet(ProductModel model)
{
    return DeviceModel.ProductFamilyFlags[model] == 1;
}
}  // namespace

void TForm1::FillStartRows()
{
    FillResolutionList(ui->CmbBoxRes, false);
    FillEdgeList(ui->CmbBoxFCTR, 1);
    FillDirectionList(ui->CmbBoxDir, kDirectionRowsA);
}

void TForm1::FillSettingLists()
{
    DeviceModel.EdgeTableId = EdgeTableIdOf(EdgeSeparationValue(DeviceModel.ConfigBlock));
    FillEdgeList(ui->CmbBoxFCTR, DeviceModel.EdgeTableId);
    // Family B's rows win when flags of both families are set; with no flag the lists stay.
    if (FlagSet(KV21) || FlagSet(KV24) || FlagSet(HXD3)) {
        FillResolutionList(ui->CmbBoxRes, false);
        FillDirectionList(ui->CmbBoxDir, kDirectionRowsA);
    }
    if (FlagSet(KV26) || FlagSet(HXD6)) {
        FillResolutionList(ui->CmbBoxRes, true);
        FillDirectionList(ui->CmbBoxDir, kDirectionRowsB);
    }
}

// Selections made from code raise no change event: the lists connect to `activated`.
void TForm1::ShowSettings()
{
    const auto& config = DeviceModel.ConfigBlock;
    ui->CmbBoxRes->setCurrentIndex(ResolutionRowOfCode(config[eeprom::kResolutionByte] & eeprom::kResolutionMask));
    ui->CmbBoxFCTR->setCurrentIndex(EdgeRowOfValue(DeviceModel.EdgeTableId, EdgeSeparationValue(config)));
    ui->CmbBoxDir->setCurrentIndex((config[eeprom::kDirectionByte] & eeprom::kDirectionMask) ? 1 : 0);
}

void TForm1::CmbBoxResChange(int row)
{
    if (row < 0 || row >= static_cast<int>(kResolutionRows.size())) return;
    if (const auto warning = ResolutionWarning(row)) platform::host().ShowMessage(*warning, "Warning!");
    uint8_t& byte = DeviceModel.ConfigBlock[eeprom::kResolutionByte];
    byte = static_cast<uint8_t>((byte & ~eeprom::kResolutionMask) | kResolutionRows[row].code);
}

void TForm1::CmbBoxFCTRChange(int row)
{
    const auto table = EdgeTable(DeviceModel.EdgeTableId);
    if (row < 0 || row >= static_cast<int>(table.size())) return;
    uint8_t& mode = DeviceModel.ConfigBlock[eeprom::kEdgeModeByte];
    mode = static_cast<uint8_t>((mode & ~eeprom::kEdgeModeMask) | table[row].modeBits);
    DeviceModel.ConfigBlock[eeprom::kEdgeSeparationCountByte] = table[row].count;
}

void TForm1::CmbBoxDirChange(int row)
{
    uint8_t& byte = DeviceModel.ConfigBlock[eeprom::kDirectionByte];
    if (row == 0) byte = static_cast<uint8_t>(byte & ~eeprom::kDirectionMask);
    if (row == 1) byte = static_cast<uint8_t>(byte | eeprom::kDirectionMask);
}
