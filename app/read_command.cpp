// READ: refresh the memory copy and the lists from the encoder, and name a blank record.
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app/Main_Tarv_Config.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"

namespace {
// A blank record on an encoder whose resolution code tells the product gets that product's name.
void NameBlankRecord()
{
    const auto& name = DeviceModel.ProductName;
    if (std::any_of(name.begin(), name.end(), [](uint8_t b) { return b != 0; })) return;
    platform::Host& h = platform::host();
    const std::string manufactured = h.FormatShortDate(DayNumberFromBytes(DeviceModel.ManufacturedDate));
    const std::string lastChanged = h.FormatShortDate(DayNumberFromBytes(DeviceModel.LastChangedDate));
    if (manufactured != lastChanged) return;

    const uint8_t code = DeviceModel.ConfigBlock[eeprom::kResolutionByte] & eeprom::kResolutionMask;
    if (code == 0x10) {
        DeviceModel.ProductName = {'H', 'X', 'D', '3'};
        DeviceModel.ProductFamilyFlags[HXD3] = 1;
    } else if (code == 0x12) {
        DeviceModel.ProductName = {'H', 'X', 'D', '6'};
        DeviceModel.ProductFamilyFlags[HXD6] = 1;
    }
    WriteProductRecord();
}
}  // namespace

void TForm1::BtnReadClick()
{
    const bool timerWasEnabled = Timer1->isActive();
    Timer1->stop();
    WaitWatchIdle();
    ui->BtnRead->setEnabled(false);
    if (ReadDeviceImage() == 1) {
        NameBlankRecord();
        FillSettingLists();
        ShowSettings();
    }
    ui->BtnRead->setEnabled(true);
    if (timerWasEnabled) Timer1->start();
}
