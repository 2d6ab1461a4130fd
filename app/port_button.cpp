// The port button: try every port, let the user pick among those with an adapter.
#include "app/Main_Tarv_Config.h"
#include "app/timer_pause.h"
#include "dialogs/COM_List.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

void TForm1::BitBtn1Click()
{
    const TimerPause pause(*Timer1);
    const std::string previous = SerialChannel.portName;
    std::vector<std::string> answering;
    for (const PortTrial& trial : TryListedPorts(false))
        if (trial.result == kAdapterAnswered) answering.push_back(trial.name);
    // The port in use before the click is in use again, whatever the trials left open.
    OpenPort(previous);
    if (!answering.empty() && portDialog_ != nullptr) {
        portDialog_->SetPorts(answering, previous);
        portDialog_->exec();
    }
}
