// The three settings lists: their rows for the product family and edge-separation table, the
// encoder's codes shown as selections, and the user's picks handed to the settings codec.
#include <QComboBox>

#include "app/Main_Tarv_Config.h"
#include "commands/settings_codec.h"
#include "commands/settings_tables.h"
#include "ui_Main_Tarv_Config.h"

using namespace commands;

namespace {
void FillResolutionList(QComboBox* list, ProductFamily family)
{
    list->clear();
    for (int row = 0; row < static_cast<int>(kResolutionRows.size()); ++row)
        list->addItem(QString::fromUtf8(ResolutionText(row, family)));
    list->setCurrentIndex(-1);
}

void FillDirectionList(QComboBox* list, ProductFamily family)
{
    list->clear();
    for (const char* text : DirectionRows(family)) list->addItem(text);
    list->setCurrentIndex(-1);
}

void FillEdgeList(QComboBox* list, uint8_t edgeTableId)
{
    list->clear();
    for (const EdgeSeparationRow& row : EdgeTable(edgeTableId)) list->addItem(QString::fromUtf8(row.text));
    list->setCurrentIndex(-1);
}
}  // namespace

void TForm1::FillStartRows()
{
    FillResolutionList(ui->CmbBoxRes, ProductFamily::A);
    FillEdgeList(ui->CmbBoxFCTR, 1);
    FillDirectionList(ui->CmbBoxDir, ProductFamily::A);
}

void TForm1::FillSettingLists()
{
    const SettingLists lists = PlanSettingLists();
    FillEdgeList(ui->CmbBoxFCTR, lists.edgeTableId);
    if (lists.family == ProductFamily::None) return;  // the other two lists keep rows and selection
    FillResolutionList(ui->CmbBoxRes, lists.family);
    FillDirectionList(ui->CmbBoxDir, lists.family);
}

// Selections made from code raise no change event: the lists connect to `activated`.
void TForm1::ShowSettings()
{
    const SettingRows rows = RowsOfSettings();
    ui->CmbBoxRes->setCurrentIndex(rows.resolution);
    ui->CmbBoxFCTR->setCurrentIndex(rows.edgeSeparation);
    ui->CmbBoxDir->setCurrentIndex(rows.direction);
}

void TForm1::CmbBoxResChange(int row)
{
    PickResolutionRow(row);
}

void TForm1::CmbBoxFCTRChange(int row)
{
    PickEdgeSeparationRow(row);
}

void TForm1::CmbBoxDirChange(int row)
{
    PickDirectionRow(row);
}
