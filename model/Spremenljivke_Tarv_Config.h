// The link's state: the copy of the encoder's memory (DeviceModel), the serial channel, the port
// list, and the layout of the encoder's 128-byte EEPROM. These are plain variables read and
// written in place. DeviceModel is the window's, one for the program, used on its UI thread only.
// The serial channel and the port list belong to the calling thread: each thread that talks to an
// adapter has its own port, so that one thread per port can run side by side.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/day_number.h"

// The model only holds the open port; the host seam defines it, and the device link, which
// opens it, closes it.
namespace platform {
class SerialPort;
}
struct SerialPortCloser {
    void operator()(platform::SerialPort* port) const;
};

// ---- The encoder's memory map ------------------------------------------------------------

namespace eeprom {

inline constexpr int kImageSize = 128;
using Image = std::array<uint8_t, kImageSize>;

inline constexpr int kConfigBlockAddress = 0;
inline constexpr int kConfigBlockSize = 16;
inline constexpr int kProductRecordAddress = 72;
inline constexpr int kProductRecordSize = 22;  // format 2, checksum included
inline constexpr int kDeviceTagAddress = 120;
inline constexpr int kDeviceTagSize = 8;

// ConfigBlock fields: byte index and mask. Every other bit belongs to the device.
inline constexpr int kResolutionByte = 0;
inline constexpr uint8_t kResolutionMask = 0x1F;
inline constexpr int kDirectionByte = 2;
inline constexpr uint8_t kDirectionMask = 0x20;
inline constexpr int kEdgeSeparationCountByte = 4;
inline constexpr int kEdgeModeByte = 5;
inline constexpr uint8_t kEdgeModeMask = 0x7F;
inline constexpr int kConfigCrcByte = 15;

// Product record, absolute addresses. Format 2 is what the program writes.
namespace format2 {
inline constexpr int kFormatVersion = 72;
inline constexpr int kProductName = 73;
inline constexpr int kCarriedBytes = 77;
inline constexpr int kSerialNumber = 79;
inline constexpr int kManufacturedDate = 85;
inline constexpr int kLastChangedDate = 89;
inline constexpr int kRecordChecksum = 93;
}  // namespace format2

// Format 1, the older layout: a two-character serial prefix and a 16-bit counter.
namespace format1 {
inline constexpr int kFormatVersion = 72;
inline constexpr int kProductName = 73;
inline constexpr int kCarriedBytes = 77;
inline constexpr int kSerialPrefix = 79;
inline constexpr int kSerialCounter = 81;  // unsigned 16-bit, most significant byte first
inline constexpr int kManufacturedDate = 83;
inline constexpr int kLastChangedDate = 87;
inline constexpr int kRecordChecksum = 91;
}  // namespace format1

inline constexpr uint8_t kFormat1 = 1;
inline constexpr uint8_t kFormat2 = 2;

}  // namespace eeprom

// ---- Product families ----------------------------------------------------------------------

// Index into ProductFamilyFlags, in the order the watch compares the names.
enum ProductModel : int { KV21 = 0, KV24 = 1, KV26 = 2, HXD3 = 3, HXD6 = 4 };
inline constexpr int kProductModelCount = 5;
inline constexpr std::array<const char*, kProductModelCount> kProductModelNames = {"KV21", "KV24", "KV26", "HXD3",
                                                                                   "HXD6"};

inline constexpr std::array<uint8_t, eeprom::kDeviceTagSize> kStartDeviceTag = {'Q', 'F', '2', '7', 'T', '4', 'N', 'E'};

// ---- DeviceModel ----------------------------------------------------------------------------

struct DeviceModelState {
    std::array<uint8_t, eeprom::kDeviceTagSize> DeviceTag = kStartDeviceTag;
    std::array<uint8_t, eeprom::kConfigBlockSize> ConfigBlock{};
    std::array<uint8_t, kProductModelCount> ProductFamilyFlags{};
    // The product record, always held in the format-2 layout as the device's raw bytes.
    uint8_t FormatVersion = 0;
    std::array<uint8_t, 4> ProductName{};
    std::array<uint8_t, 2> CarriedBytes{};
    std::array<uint8_t, 6> SerialNumber{};
    std::array<uint8_t, 4> ManufacturedDate{};
    std::array<uint8_t, 4> LastChangedDate{};
    uint8_t RecordChecksum = 0;
    bool WatchIdle = false;
    uint8_t EdgeTableId = 0;
};

extern DeviceModelState DeviceModel;

// Clears the 20 bytes of ProductName, CarriedBytes, SerialNumber and both dates: the record's
// fields as an empty record holds them. FormatVersion and RecordChecksum are their callers'.
void ClearRecordFields();

// Clears the five family flags and the record's fields. FormatVersion, RecordChecksum,
// ConfigBlock, DeviceTag and EdgeTableId stay.
void ClearDeviceModel();

// ---- The serial channel ---------------------------------------------------------------------

// The calling thread's channel: its open port is closed when the thread ends.
struct SerialChannelState {
    std::unique_ptr<platform::SerialPort, SerialPortCloser> port;  // none when no port is open
    std::string portName;                                          // empty exactly when no adapter port is in use
    uint32_t bytesWaiting = 0;                                     // from the last queue query that succeeded
};

// References to objects of the thread's own (model/thread_owned.h), made on its first use.
extern thread_local SerialChannelState& SerialChannel;
extern thread_local std::vector<std::string>& PortList;  // the calling thread's last listing
