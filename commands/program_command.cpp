#include "commands/program_command.h"

#include <algorithm>
#include <span>

#include "commands/encoder_report.h"
#include "commands/result_words.h"
#include "commands/settings_codec.h"
#include "commands/write_witness.h"
#include "link/messages.h"
#include "platform/host.h"

namespace commands {

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

// Tells a write's witness of it from before its first block to its end.
class WitnessedWrite {
public:
    WitnessedWrite(WriteWitness* witness, const WrittenEncoder& encoder, const eeprom::Image& memory)
        : witness_(witness)
    {
        allowed_ = witness_ == nullptr || witness_->BeforeWriting(encoder, memory);
        if (!allowed_) witness_ = nullptr;  // a write that does not begin does not end either
    }
    bool Allowed() const { return allowed_; }
    ProgramResult Ended(ProgramResult result, const std::optional<SettingsReport>& after = std::nullopt)
    {
        if (witness_ != nullptr) witness_->AfterWriting(WordOf(OutcomeOf(result)), after);
        return result;
    }

private:
    WriteWitness* witness_;
    bool allowed_ = true;
};

// The encoder that PROG writes, as it was read; its settings as the window's lists show them.
WrittenEncoder EncoderAsRead(const eeprom::Image& memory)
{
    const EncoderReport read = DescribeEncoder(memory, FamilyOfFlags());
    return {"program", SerialChannel.portName, read.product, read.serial, read.settings};
}

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

eeprom::Image ProgrammedImage(const eeprom::Image& read, const ConfigBytes& settings, int32_t today)
{
    const DecodedEncoder encoder = Decode(read);
    ConfigBytes config = encoder.configBlock;
    MergeEditedSettings(config, settings);
    config[eeprom::kConfigCrcByte] = ComputeConfigCrc(config, eeprom::kConfigCrcByte, 0);
    EncoderRecord record = encoder.record;
    record.lastChanged = DayNumberToBytes(today);
    const auto body = Format2RecordBody(record);

    eeprom::Image image{};
    Put(image, eeprom::kConfigBlockAddress, config);
    Put(image, eeprom::kProductRecordAddress, body);
    image[eeprom::format2::kRecordChecksum] = SumChecksum(body);
    Put(image, eeprom::kDeviceTagAddress, encoder.deviceTag);
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

ProgramResult ProgramEncoder(const ReadCommand& read, WriteWitness* witness)
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
    const eeprom::Image written = ProgrammedImage(memory, edited, platform::host().Today());
    edited[eeprom::kConfigCrcByte] = written[eeprom::kConfigCrcByte];
    WitnessedWrite witnessed(witness, EncoderAsRead(memory), memory);
    if (!witnessed.Allowed()) return ProgramResult::NotKept;  // nothing written, the model as it was
    LoadDeviceImage(written);  // the model holds what is written, the lists' edits merged in
    const auto tag = DeviceModel.DeviceTag;
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

ProgrammingReport WriteAndVerify(const eeprom::Image& image, const WrittenEncoder& encoder, const eeprom::Image& read,
                                 WriteWitness* witness, const BlockWritten& blockWritten)
{
    ProgrammingReport report;
    report.written = image;
    if (SerialChannel.portName.empty()) {
        Show(messages::kNoProgrammingDevice);
        report.result = ProgramResult::NoDevice;
        return report;
    }
    WitnessedWrite witnessed(witness, encoder, read);
    if (!witnessed.Allowed()) {
        report.result = ProgramResult::NotKept;
        return report;
    }
    if (const WriteOutcome outcome = WriteImage(report.written, blockWritten, &report.address);
        outcome != WriteOutcome::Written) {
        report.result = witnessed.Ended(ReportWriteOutcome(outcome));
        return report;
    }
    if (ReadWholeMemory(report.readBack) == 0) {
        report.result = witnessed.Ended(ProgramResult::ReadBackFailed);
        return report;
    }
    report.after = DescribeEncoder(report.readBack).settings;
    report.address = FirstDifference(report.written, report.readBack);
    if (report.address >= 0) {
        Show(messages::kVerificationFailed);
        report.result = ProgramResult::VerificationFailed;
    }
    witnessed.Ended(report.result, report.after);
    return report;
}

}  // namespace commands
