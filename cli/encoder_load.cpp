#include "cli/encoder_load.h"

#include <algorithm>

#include "commands/settings_codec.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {

int RecordedProductModel()
{
    const auto& name = DeviceModel.ProductName;
    for (int model = 0; model < kProductModelCount; ++model)
        if (std::equal(name.begin(), name.end(), kProductModelNames[model])) return model;
    return -1;
}

void LoadEncoder(const eeprom::Image& memory)
{
    LoadDeviceImage(memory);
    DeviceModel.ProductFamilyFlags.fill(0);
    if (const int model = RecordedProductModel(); model >= 0) DeviceModel.ProductFamilyFlags[model] = 1;
    PlanSettingLists();
}

}  // namespace cli
