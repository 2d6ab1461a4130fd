// Puts the program-wide state back to its start values between tests.
#pragma once

#include "model/Spremenljivke_Tarv_Config.h"

inline void ResetProgramState()
{
    DeviceModel = DeviceModelState{};
    SerialChannel.port.reset();
    SerialChannel.portName.clear();
    SerialChannel.bytesWaiting = 0;
    PortList.clear();
}
