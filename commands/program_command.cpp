#include "commands/program_command.h"

#include <algorithm>
#include <span>

#include "link/messages.h"
#include "platform/host.h"

namespace {
constexpr int kBlockSize = 8;

template <size_t N>
void Put(eeprom::Image& image, int address, const std::array<uint8_t, N>& bytes)
{
    std::copy(bytes.begin(), bytes.end(), image.begin() + address);
}

ProgramResult ReportWriteOutcome(WriteOutcome outcome)
{
    if (outcome == WriteOutcome::NoAnswer) {
        Show(messages::kProgramNoAnswer);
        return ProgramResult::NoAnswer;
    }
    Show(messages::kWriteRefused);
    return ProgramResult::Refused;
}
}  // namespace

void MergeEditedSettings(ConfigBytes& fresh, const ConfigBytes& edited)
{
    const auto take = [&](int byte, uint8_t mask) {
        fresh[byte] = static_cast<uint8_t>((edited[byte] & mask) | (fresh[byte] & ~mask));
    };
    take(eeprom::kResolutionByte, eeprom::kResolutionMask);
    take(eeprom::kDirectionByte, eeprom::kDirectionMask);
    take(eeprom::kEdgeSeparationCountByte, 0xFF);
    take(eeprom::kEdgeModeByte, eeprom::kEdgeModeMask);
}

void PrepareProgramming(ConfigBytes& edited)
{
    MergeEditedSettings(DeviceModel.ConfigBlock, edited);
    const uint8_t crc = ComputeConfigCrc(DeviceModel.ConfigBlock, eeprom::kConfigCrcByte, 0);
    DeviceModel.ConfigBlock[eeprom::kConfigCrcByte] = crc;
    edited[eeprom::kConfigCrcByte] = crc;
    DeviceModel.LastChangedDate = DayNumberToBytes(platform::host().Today());
    DeviceModel.RecordChecksum = ComputeRecordChecksum();
}

eeprom::Image ProgrammingImage()
{
    eeprom::Image image{};
    Put(image, eeprom::kConfigBlockAddress, DeviceModel.ConfigBlock);
    Put(image, eeprom::kProductRecordAddress, RecordBytesOfModel());
    image[eeprom::format2::kRecordChecksum] = DeviceModel.RecordChecksum;
    Put(image, eeprom::kDeviceTagAddress, DeviceModel.DeviceTag);
    return image;
}

WriteOutcome WriteImage(const eeprom::Image& image)
{
    for (int address = 0; address < eeprom::kImageSize; address += kBlockSize) {
        const WriteOutcome outcome =
            WriteEepromBlock(static_cast<uint8_t>(address), std::span(image).subspan(address, kBlockSize));
        if (outcome != WriteOutcome::Written) return outcome;
    }
    return WriteOutcome::Written;
}

ProgramResult ProgramEncoder(const std::function<void()>& readBack)
{
    if (SerialChannel.portName.empty()) {
        Show(messages::kNoProgrammingDevice);
        return ProgramResult::NoDevice;
    }
    ConfigBytes edited = DeviceModel.ConfigBlock;
    if (ReadDeviceImage() == 0) {
        Show(messages::kProgramReadFailed);
        DeviceModel.ConfigBlock = edited;  // the lists and the model agree again
        return ProgramResult::ReadFailed;
    }
    PrepareProgramming(edited);
    const auto tag = DeviceModel.DeviceTag;
    if (const WriteOutcome outcome = WriteImage(ProgrammingImage()); outcome != WriteOutcome::Written)
        return ReportWriteOutcome(outcome);

    readBack();
    // Against the edited copy, not the merged block: the device's own bits count too.
    if (tag != DeviceModel.DeviceTag || edited != DeviceModel.ConfigBlock) {
        Show(messages::kVerificationFailed);
        return ProgramResult::VerificationFailed;
    }
    return ProgramResult::Done;
}
