#include "commands/read_command.h"

#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

namespace {
bool DatesShowTheSame()
{
    platform::Host& h = platform::host();
    return h.FormatShortDate(DayNumberFromBytes(DeviceModel.ManufacturedDate)) ==
           h.FormatShortDate(DayNumberFromBytes(DeviceModel.LastChangedDate));
}

void NameProduct(ProductModel model)
{
    std::copy_n(kProductModelNames[model], DeviceModel.ProductName.size(), DeviceModel.ProductName.begin());
    DeviceModel.ProductFamilyFlags[model] = 1;
}
}  // namespace

bool RefreshDeviceModel()
{
    if (ReadDeviceImage() != 1) return false;
    RepairBlankRecord();
    return true;
}

void RepairBlankRecord()
{
    const auto& name = DeviceModel.ProductName;
    if (std::any_of(name.begin(), name.end(), [](uint8_t b) { return b != 0; })) return;
    if (!DatesShowTheSame()) return;

    const uint8_t code = DeviceModel.ConfigBlock[eeprom::kResolutionByte] & eeprom::kResolutionMask;
    if (code == 0x10) NameProduct(HXD3);
    if (code == 0x12) NameProduct(HXD6);
    WriteProductRecord();
}
