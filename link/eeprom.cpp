// Whole-memory read into DeviceModel, and the product-record write with its read-back.
#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "link/answer_wait.h"
#include "link/encoder_decode.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

namespace {
constexpr uint8_t kImageRequestCount = 32;

// The model holds every record in format 2; one of neither format as an empty one.
void LoadRecord(const EncoderRecord& record)
{
    DeviceModel.FormatVersion = eeprom::kFormat2;
    DeviceModel.ProductName = record.productName;
    DeviceModel.CarriedBytes = record.carriedBytes;
    DeviceModel.SerialNumber = record.serialNumber;
    DeviceModel.ManufacturedDate = record.manufactured;
    DeviceModel.LastChangedDate = record.lastChanged;
    DeviceModel.RecordChecksum = record.checksum;
}

// Sends one record block; shows the caller's text for an outcome other than written.
bool WriteRecordBlock(uint8_t address, std::span<const uint8_t> data)
{
    switch (WriteEepromBlock(address, data)) {
    case WriteOutcome::Written:
        return true;
    case WriteOutcome::Refused:
        Show(messages::kWriteRefused);
        return false;
    case WriteOutcome::NoAnswer:
        Show(messages::kRecordWriteNoAnswer);
        return false;
    }
    return false;
}
}  // namespace

uint8_t ComputeRecordChecksum()
{
    return SumChecksum(RecordBytesOfModel());
}

std::array<uint8_t, 21> RecordBytesOfModel()
{
    const EncoderRecord record{DeviceModel.ProductName,      DeviceModel.CarriedBytes,    DeviceModel.SerialNumber,
                               DeviceModel.ManufacturedDate, DeviceModel.LastChangedDate, DeviceModel.RecordChecksum};
    std::array<uint8_t, 21> bytes = Format2RecordBody(record);
    bytes[0] = DeviceModel.FormatVersion;  // the model's own byte: 2 once anything was loaded
    return bytes;
}

uint8_t ReadDeviceImage()
{
    eeprom::Image image{};
    if (ReadWholeMemory(image) == 0) return 0;
    LoadDeviceImage(image);
    return 1;
}

void LoadDeviceImage(const eeprom::Image& image)
{
    const DecodedEncoder encoder = Decode(image);
    DeviceModel.ConfigBlock = encoder.configBlock;
    DeviceModel.DeviceTag = encoder.deviceTag;
    LoadRecord(encoder.record);
}

uint8_t ReadWholeMemory(eeprom::Image& into)
{
    platform::Host& h = platform::host();
    if (SerialChannel.portName.empty() || !PortIsOpen()) {
        NoteReadFailure(ReadFailure::NoPort);
        Show(messages::kImagePortNotValid);
        return 0;
    }
    DiscardReceived();
    // One timeout flag for the whole read: after a timeout the remaining requests still go out,
    // each followed by a single poll, and the count at the very last poll decides. A stop sends
    // none of them: the read ends with the answer already asked for.
    bool timedOut = false;
    bool stopped = false;
    uint32_t waiting = 0;
    for (uint32_t k = 0; k < eeprom::kImageSize / kImageRequestCount; ++k) {
        const auto address = static_cast<uint8_t>(k * kImageRequestCount);
        stopped = !SendRequest(AdapterCommand::EepromRead(address, kImageRequestCount));
        if (stopped) break;
        waiting =
            WaitForBytes(h.TickCount(), kEepromDeadlineMs, (k + 1) * kImageRequestCount, kReadPollPauseMs, timedOut);
    }
    eeprom::Image image{};
    if (stopped || waiting != eeprom::kImageSize || ReadBytes(image) != image.size()) {
        NoteReadFailure(stopped ? ReadFailure::Stopped : ReadFailureOf(waiting));
        Show(messages::kImageReadFailed);
        return 0;
    }
    NoteReadFailure(ReadFailure::None);
    into = image;
    return 1;
}

RecordWriteResult WriteProductRecord()
{
    std::array<uint8_t, eeprom::kProductRecordSize> record{};
    const auto body = RecordBytesOfModel();
    std::copy(body.begin(), body.end(), record.begin());
    record.back() = SumChecksum(body);

    if (SerialChannel.portName.empty() || !PortIsOpen()) return RecordWriteResult::WriteFailed;
    DiscardReceived();
    const std::span<const uint8_t> bytes(record);
    constexpr auto base = static_cast<uint8_t>(eeprom::kProductRecordAddress);
    if (!WriteRecordBlock(base, bytes.subspan(0, 8)) || !WriteRecordBlock(base + 8, bytes.subspan(8, 8)) ||
        !WriteRecordBlock(base + 16, bytes.subspan(16, 6)))
        return RecordWriteResult::WriteFailed;

    // The read-back's own failure is reported by ReadEepromBlock; the zeros then fail the check.
    std::array<uint8_t, eeprom::kProductRecordSize> readBack{};
    ReadEepromBlock(base, eeprom::kProductRecordSize, readBack);
    if (std::equal(body.begin(), body.end(), readBack.begin())) return RecordWriteResult::Verified;
    Show(messages::kRecordCorrupted);
    return RecordWriteResult::ReadBackDiffers;
}
