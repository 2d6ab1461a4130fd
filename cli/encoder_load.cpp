#include "cli/encoder_load.h"

#include "commands/device_watch.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {

int RecordedProductModel()
{
    return ProductModelOfName(DeviceModel.ProductName);
}

void LoadEncoder(const eeprom::Image& memory)
{
    LoadDeviceImage(memory);
    DeviceModel.ProductFamilyFlags.fill(0);
    if (const int model = RecordedProductModel(); model >= 0) DeviceModel.ProductFamilyFlags[model] = 1;
}

std::optional<EncoderReport> ReadEncoder(eeprom::Image& memory)
{
    if (ReadWholeMemory(memory) == 0) return std::nullopt;
    LoadEncoder(memory);
    return DescribeEncoder(memory);
}

}  // namespace cli
