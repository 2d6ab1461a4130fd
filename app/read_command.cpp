// READ: refresh the memory copy and the lists from the encoder.
#include <QPushButton>

#include "app/Main_Tarv_Config.h"
#include "app/timer_pause.h"
#include "commands/read_command.h"
#include "ui_Main_Tarv_Config.h"

using namespace commands;

std::optional<eeprom::Image> TForm1::BtnReadClick()
{
    const TimerPause pause(*Timer1);
    WaitWatchIdle();
    ui->BtnRead->setEnabled(false);
    const std::optional<eeprom::Image> read = RefreshDeviceModel(writeWitness_);
    if (read) {
        FillSettingLists();
        ShowSettings();
    }
    ui->BtnRead->setEnabled(true);
    return read;
}
