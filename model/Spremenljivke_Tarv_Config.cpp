#include "model/Spremenljivke_Tarv_Config.h"

#include "model/thread_owned.h"

DeviceModelState DeviceModel;
thread_local SerialChannelState& SerialChannel = NewOfThisThread<SerialChannelState>();
thread_local std::vector<std::string>& PortList = NewOfThisThread<std::vector<std::string>>();

void ClearRecordFields()
{
    DeviceModel.ProductName.fill(0);
    DeviceModel.CarriedBytes.fill(0);
    DeviceModel.SerialNumber.fill(0);
    DeviceModel.ManufacturedDate.fill(0);
    DeviceModel.LastChangedDate.fill(0);
}

void ClearDeviceModel()
{
    DeviceModel.ProductFamilyFlags.fill(0);
    ClearRecordFields();
}
