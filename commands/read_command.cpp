#include "commands/read_command.h"

#include <algorithm>

#include "commands/encoder_report.h"
#include "commands/result_words.h"
#include "commands/settings_codec.h"
#include "commands/write_witness.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

namespace commands {

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

std::optional<eeprom::Image> RefreshDeviceModel(WriteWitness* witness)
{
    eeprom::Image memory{};
    if (ReadWholeMemory(memory) == 0) return std::nullopt;
    LoadDeviceImage(memory);
    RepairBlankRecord(memory, witness);
    return memory;
}

void RepairBlankRecord(const eeprom::Image& asRead, WriteWitness* witness)
{
    const auto& name = DeviceModel.ProductName;
    if (std::any_of(name.begin(), name.end(), [](uint8_t b) { return b != 0; })) return;
    if (!DatesShowTheSame()) return;

    const uint8_t code = DeviceModel.ConfigBlock[eeprom::kResolutionByte] & eeprom::kResolutionMask;
    if (code == 0x10) NameProduct(HXD3);
    if (code == 0x12) NameProduct(HXD6);
    // The repair's journal line names the encoder as the repair names it.
    const WrittenEncoder encoder{"repair", SerialChannel.portName, FieldText(DeviceModel.ProductName),
                                 FieldText(DeviceModel.SerialNumber),
                                 DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags())};
    if (witness != nullptr && !witness->BeforeWriting(encoder, asRead)) return;
    const RecordWriteResult result = WriteProductRecord();
    if (witness != nullptr)
        witness->AfterWriting(WordOf(OutcomeOf(result)), DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags()));
}

}  // namespace commands
