// PROG: merge the user's settings into a fresh copy of the memory, stamp today's date, write all
// 128 bytes in sixteen blocks and verify them through READ.
#include <QPushButton>
#include <QTimer>

#include "app/Main_Tarv_Config.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"

namespace {
using ConfigBytes = std::array<uint8_t, eeprom::kConfigBlockSize>;
const char* const kErrorTitle = "ERROR";
constexpr int kBlockSize = 8;

// Exactly the bits that the settings lists change come from the user's copy; every other bit is
// the device's, as just read.
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

// The whole memory as PROG writes it: settings, record and tag; every other byte zero.
eeprom::Image ProgrammingImage()
{
    eeprom::Image image{};
    std::copy(DeviceModel.ConfigBlock.begin(), DeviceModel.ConfigBlock.end(),
              image.begin() + eeprom::kConfigBlockAddress);
    const auto record = RecordBytesOfModel();
    std::copy(record.begin(), record.end(), image.begin() + eeprom::kProductRecordAddress);
    image[eeprom::format2::kRecordChecksum] = DeviceModel.RecordChecksum;
    std::copy(DeviceModel.DeviceTag.begin(), DeviceModel.DeviceTag.end(), image.begin() + eeprom::kDeviceTagAddress);
    return image;
}

// Sends the sixteen blocks in order; shows the text of the first outcome other than written.
bool WriteImage(const eeprom::Image& image)
{
    for (int address = 0; address < eeprom::kImageSize; address += kBlockSize) {
        const auto block = std::span(image).subspan(address, kBlockSize);
        switch (WriteEepromBlock(static_cast<uint8_t>(address), block)) {
        case WriteOutcome::Written:
            continue;
        case WriteOutcome::NoAnswer:
            platform::host().ShowMessage("COM port is not responding!", kErrorTitle);
            return false;
        case WriteOutcome::Refused:
            platform::host().ShowMessage("Writing to EEPROM was unsuccesfull", kErrorTitle);
            return false;
        }
    }
    return true;
}
}  // namespace

void TForm1::BtnProgClick()
{
    platform::Host& h = platform::host();
    ui->BtnProg->setEnabled(false);
    const bool timerWasEnabled = Timer1->isActive();
    Timer1->stop();
    const auto restoreTimer = [&] {
        if (timerWasEnabled) Timer1->start();
    };
    WaitWatchIdle();

    if (SerialChannel.portName.empty()) {
        h.ShowMessage("No programming device", kErrorTitle);
        restoreTimer();
        return;
    }
    ConfigBytes edited = DeviceModel.ConfigBlock;
    if (ReadDeviceImage() == 0) {
        h.ShowMessage("EEPROM read error", kErrorTitle);
        restoreTimer();
        DeviceModel.ConfigBlock = edited;
        return;
    }
    MergeEditedSettings(DeviceModel.ConfigBlock, edited);
    const uint8_t crc = ComputeConfigCrc(DeviceModel.ConfigBlock, eeprom::kConfigCrcByte, 0);
    DeviceModel.ConfigBlock[eeprom::kConfigCrcByte] = crc;
    edited[eeprom::kConfigCrcByte] = crc;
    DeviceModel.LastChangedDate = DayNumberToBytes(h.Today());
    DeviceModel.RecordChecksum = ComputeRecordChecksum();
    const auto tag = DeviceModel.DeviceTag;

    if (!WriteImage(ProgrammingImage())) {
        restoreTimer();
        return;
    }
    BtnReadClick();
    if (tag != DeviceModel.DeviceTag || edited != DeviceModel.ConfigBlock)
        h.ShowMessage("EEPROM verification error", kErrorTitle);
    ui->BtnProg->setEnabled(true);
    restoreTimer();
}
