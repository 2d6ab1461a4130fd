#include "commands/program_command.h"

#include <algorithm>
#include <span>

#include "commands/encoder_report.h"
#include "commands/result_words.h"
#include "commands/settings_codec.h"
#include "commands/write_witness.h"
#include "link/messages.h"
#include "platform/host.h"

namespace {
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

// Tells the installed witness of a write from before its first block to its end.
class WitnessedWrite {
public:
    WitnessedWrite(std::string_view command, const eeprom::Image& memory) : witness_(InstalledWriteWitness())
    {
        if (witness_ != nullptr) witness_->BeforeWriting(command, memory);
    }
    ProgramResult Ended(ProgramResult result, const std::optional<SettingsReport>& after = std::nullopt)
    {
        if (witness_ != nullptr) witness_->AfterWriting(WordOf(OutcomeOf(result)), after);
        return result;
    }

private:
    WriteWitness* witness_;
};

// The record's bytes before its checksum: the identity that PROG wrote.
bool SameRecordBody(const eeprom::Image& a, const eeprom::Image& b)
{
    const auto first = a.begin() + eeprom::kProductRecordAddress;
    return std::equal(first, first + eeprom::kProductRecordSize - 1, b.begin() + eeprom::kProductRecordAddress);
}

int FirstDifference(const eeprom::Image& a, const eeprom::Image& b)
{
    const auto differs = std::mismatch(a.begin(), a.end(), b.begin());
    return differs.first == a.end() ? -1 : static_cast<int>(differs.first - a.begin());
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

WriteOutcome WriteImage(const eeprom::Image& image, const BlockWritten& blockWritten, int* failedBlock)
{
    for (int address = 0; address < eeprom::kImageSize; address += kImageBlockSize) {
        const WriteOutcome outcome =
            WriteEepromBlock(static_cast<uint8_t>(address), std::span(image).subspan(address, kImageBlockSize));
        if (outcome != WriteOutcome::Written) {
            if (failedBlock != nullptr) *failedBlock = address;
            return outcome;
        }
        if (blockWritten) blockWritten(address);
    }
    return WriteOutcome::Written;
}

ProgramResult ProgramEncoder(const ReadCommand& read)
{
    if (SerialChannel.portName.empty()) {
        Show(messages::kNoProgrammingDevice);
        return ProgramResult::NoDevice;
    }
    ConfigBytes edited = DeviceModel.ConfigBlock;
    eeprom::Image memory{};
    if (ReadWholeMemory(memory) == 0) {
        Show(messages::kProgramReadFailed);
        DeviceModel.ConfigBlock = edited;  // the lists and the model agree again
        return ProgramResult::ReadFailed;
    }
    LoadDeviceImage(memory);
    WitnessedWrite witnessed("program", memory);
    PrepareProgramming(edited);
    const auto tag = DeviceModel.DeviceTag;
    const eeprom::Image written = ProgrammingImage();
    if (const WriteOutcome outcome = WriteImage(written); outcome != WriteOutcome::Written)
        return witnessed.Ended(ReportWriteOutcome(outcome));

    // A read-back that fails leaves DeviceModel as PROG wrote it, and the settings and the tag are
    // compared with that all the same. Against the edited copy, not the merged block: the device's
    // own bits count too. The record is compared as it came off the encoder, before READ's repair
    // of a blank record renames it: a record that reads back different would show a wrong identity
    // as programmed.
    const std::optional<eeprom::Image> readBack = read();
    const bool differs = tag != DeviceModel.DeviceTag || edited != DeviceModel.ConfigBlock ||
                         (readBack && !SameRecordBody(*readBack, written));
    if (differs) Show(messages::kVerificationFailed);
    if (!readBack) return witnessed.Ended(ProgramResult::ReadBackFailed);
    return witnessed.Ended(differs ? ProgramResult::VerificationFailed : ProgramResult::Done,
                           DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags()));
}

ProgrammingReport WriteAndVerify(const eeprom::Image& image, const BlockWritten& blockWritten)
{
    ProgrammingReport report;
    report.written = image;
    if (SerialChannel.portName.empty()) {
        Show(messages::kNoProgrammingDevice);
        report.result = ProgramResult::NoDevice;
        return report;
    }
    if (const WriteOutcome outcome = WriteImage(report.written, blockWritten, &report.address);
        outcome != WriteOutcome::Written) {
        report.result = ReportWriteOutcome(outcome);
        return report;
    }
    if (ReadWholeMemory(report.readBack) == 0) {
        report.result = ProgramResult::ReadBackFailed;
        return report;
    }
    LoadDeviceImage(report.readBack);
    report.address = FirstDifference(report.written, report.readBack);
    if (report.address >= 0) {
        Show(messages::kVerificationFailed);
        report.result = ProgramResult::VerificationFailed;
    }
    return report;
}

ProgrammingReport ProgramLoadedEncoder(const BlockWritten& blockWritten)
{
    if (SerialChannel.portName.empty()) return WriteAndVerify({}, blockWritten);  // tells there is no adapter
    ConfigBytes edited = DeviceModel.ConfigBlock;
    PrepareProgramming(edited);
    return WriteAndVerify(ProgrammingImage(), blockWritten);
}
