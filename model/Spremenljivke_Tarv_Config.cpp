#include "model/Spremenljivke_Tarv_Config.h"

DeviceModelState DeviceModel;
thread_local SerialChannelState SerialChannel;
thread_local std::vector<std::string> PortList;

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
