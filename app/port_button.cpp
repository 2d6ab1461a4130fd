// The port button: try every port, let the user pick among those with an adapter.
#include "app/Main_Tarv_Config.h"
#include "app/timer_pause.h"
#include "dialogs/COM_List.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

void TForm1::BitBtn1Click()
{
    const TimerPause pause(*Timer1);
    std::vector<std::string> answering;
    ListSerialPorts(PortList);
    const std::string previous = SerialChannel.portName;
    for (const std::string& name : PortList)
        if (TryPort(name) == 0) answering.push_back(name);
    // The port in use before the click is in use again, whatever the trials left open.
    OpenPort(previous);
    if (!answering.empty() && portDialog_ != nullptr) {
        portDialog_->SetPorts(answering, previous);
        portDialog_->exec();
    }
}
