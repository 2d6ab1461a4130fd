// PROG: write the user's settings into the encoder and verify them through READ.
#include <QPushButton>

#include "app/Main_Tarv_Config.h"
#include "app/timer_pause.h"
#include "commands/program_command.h"
#include "ui_Main_Tarv_Config.h"

using namespace commands;

void TForm1::BtnProgClick()
{
    ui->BtnProg->setEnabled(false);
    const TimerPause pause(*Timer1);
    WaitWatchIdle();
    // The early endings leave the button disabled; the next watch tick enables it again.
    // The read-back is READ itself, whose repair of a blank record the same witness hears.
    if (AllBlocksWritten(ProgramEncoder([this] { return BtnReadClick(); }, writeWitness_)))
        ui->BtnProg->setEnabled(true);
}
