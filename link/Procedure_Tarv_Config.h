// The device link: the serial channel and port discovery, the adapter's four requests, the two
// checksums, and the whole-memory read and product-record write. Free procedures over the state
// of Spremenljivke_Tarv_Config; failures are shown where they are found.
//
// Everything the link keeps about its port is the calling thread's own: the installed host
// (platform::host()), the serial channel, PortList, the last open and listing failures and the
// wire observer. Threads that each install a host and open a port run these procedures at the
// same time without seeing each other. DeviceModel, and the procedures that fill it or write
// from it (ReadDeviceImage, LoadDeviceImage, WriteProductRecord and its helpers), stay the
// window's: one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

// ---- Serial channel (serial_channel.cpp) ----------------------------------------------------

// Closes any open port, then opens and configures `name`. Afterwards the port name is `name`
// with a port open, or empty with none.
void OpenPort(const std::string& name);
// Why the last port that this thread was to open did not open; None when it did.
platform::PortOpenFailure LastOpenFailure();
// Who may open it, when the last port did not open for want of permission and the device said so.
std::optional<platform::DeviceAccess> LastDeniedAccess();

bool PortIsOpen();
void ClosePort();  // leaves the port name as it is
void DiscardReceived();
uint32_t BytesWaiting();  // the count of the last queue query that succeeded
void WriteBytes(std::span<const uint8_t> bytes);
size_t ReadBytes(std::span<uint8_t> into);

// ---- Port discovery (port_search.cpp) ------------------------------------------------------

// The presence answers that count: a search takes a port at 4 or more, the watch keeps one at 3
// or more.
inline constexpr uint8_t kAdapterQualifies = 4;
inline constexpr uint8_t kAdapterStillThere = 3;

// TryPort's results.
inline constexpr int kAdapterAnswered = 0;  // the adapter answered and its port is in use
inline constexpr int kNoAdapter = -1;       // the port opened, but no adapter answered; closed again
inline constexpr int kPortDidNotOpen = -2;  // LastOpenFailure says why

// Reads the host's port names, sorts them and replaces the content of `list` with them.
void ListSerialPorts(std::vector<std::string>& list);
// Whether this thread's last listing stopped on an error (after its message).
bool LastListingFailed();
int TryPort(const std::string& name);
// Refreshes PortList and tries its ports in order; true when one of them has the adapter.
bool ScanForAdapter();
// Closes the port and forgets its name: no port in use.
void ReleasePort();

// One port tried: TryPort's result, and why it did not open.
struct PortTrial {
    std::string name;
    int result = kPortDidNotOpen;
    platform::PortOpenFailure failure = platform::PortOpenFailure::None;
    std::optional<platform::DeviceAccess> denied = std::nullopt;
};
// Refreshes PortList and tries its ports in order, up to the first whose adapter answers when
// `stopAtAdapter`, else every one (the last answering port is left in use). What each did.
std::vector<PortTrial> TryListedPorts(bool stopAtAdapter);

// The order of PortList: case-insensitive in the user's locale, character by character, so
// COM1 < COM10 < COM2.
bool PortNameLess(std::string_view a, std::string_view b);

// ---- Adapter command set (adapter.cpp) -----------------------------------------------------

namespace AdapterCommand {
inline constexpr uint8_t kAdapterGroup = 0x5A;
inline constexpr uint8_t kEepromGroup = 0x55;
inline constexpr uint8_t kPresence = 0x01;
inline constexpr uint8_t kSignal = 0x10;
inline constexpr uint8_t kEepromRead = 0xA1;
inline constexpr uint8_t kEepromWrite = 0xA0;
inline constexpr uint8_t kSignalOn = 0x0F;
inline constexpr uint8_t kSignalOff = 0x0E;
inline constexpr size_t kMaxWriteCount = 8;

inline constexpr std::array<uint8_t, 4> Presence()
{
    return {kAdapterGroup, kPresence, 0, 0};
}
inline constexpr std::array<uint8_t, 4> Signal(uint8_t value)
{
    return {kAdapterGroup, kSignal, value, 0};
}
inline constexpr std::array<uint8_t, 4> EepromRead(uint8_t address, uint8_t count)
{
    return {kEepromGroup, kEepromRead, address, count};
}
}  // namespace AdapterCommand

// Deadlines of the adapter's answers, in milliseconds after the request was written.
inline constexpr uint32_t kPingDeadlineMs = 50;
inline constexpr uint32_t kSignalDeadlineMs = 300;
inline constexpr uint32_t kEepromDeadlineMs = 500;
inline constexpr uint32_t kReadPollPauseMs = 5;

enum class WriteOutcome { Written, Refused, NoAnswer };

// True once more than `deadlineMs` have passed between two tick readings; wrap-safe.
bool DeadlinePassed(uint32_t startTick, uint32_t nowTick, uint32_t deadlineMs);

// The adapter's presence answer; 0 when none or more than one byte came, 1 when no port is open.
uint8_t PingAdapter();
void BlinkAdapter(int cycles, uint32_t pauseMs);
// 1 with `count` bytes at the start of `buffer`, 0 (already reported) with `buffer` untouched.
uint8_t ReadEepromBlock(uint8_t address, uint8_t count, std::span<uint8_t> buffer);

// Why the calling thread's last EEPROM read (ReadEepromBlock, ReadWholeMemory) failed, told by
// the bytes waiting when it gave up; None after one that succeeded.
enum class ReadFailure {
    None,
    NoPort,       // no port is open: nothing was sent
    NoAnswer,     // not a byte came: no encoder answers
    WrongLength,  // bytes came, but not as many as asked for: the encoder or its cable is at fault
    Stopped,      // the program was asked to stop: the rest was not asked for
};
ReadFailure LastReadFailure();

// 1 to 8 data bytes within one group of eight addresses. Shows nothing: callers choose the texts.
WriteOutcome WriteEepromBlock(uint8_t address, std::span<const uint8_t> data);

// ---- Checksums (checksums.cpp) ------------------------------------------------------------

inline constexpr int32_t kCrcPolynomial = 0x27;

constexpr uint8_t Crc8OfText(std::u16string_view text, int32_t polynomial, int32_t start)
{
    // Bits above 7 never feed back into the low byte, so a character's high byte is inert.
    auto r = static_cast<uint32_t>(start);
    for (const char16_t ch : text) {
        r ^= ch;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80) ? (r << 1) ^ static_cast<uint32_t>(polynomial) : r << 1;
    }
    return static_cast<uint8_t>(r & 0xFF);
}

// The CRC of each single byte, made by the compiler: there is no start-up step to forget.
inline constexpr std::array<uint32_t, 256> CrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < table.size(); ++i) {
        const char16_t single[1] = {static_cast<char16_t>(i)};
        table[i] = Crc8OfText({single, 1}, kCrcPolynomial, 0);
    }
    return table;
}();
uint8_t ComputeConfigCrc(std::span<const uint8_t> bytes, uint32_t count, uint8_t start);
uint8_t SumChecksum(std::span<const uint8_t> bytes);

// Hears every transfer on the calling thread's serial channel, when that thread installed one:
// '>' for bytes sent, '<' for bytes received, 'x' for bytes that a discard throws away (read
// first, so that they can be told). Each thread installs its own, and it runs on that thread.
using WireObserver = std::function<void(const std::string& port, char direction, std::span<const uint8_t> bytes)>;
void ObserveWire(WireObserver observer);  // an empty one: none

// ---- Memory read and record write (eeprom.cpp) ---------------------------------------------

// 1 when all 128 bytes were read into DeviceModel, 0 (already reported, model unchanged) if not.
uint8_t ReadDeviceImage();
// The same read, into `into` as the device holds it; `into` stays untouched on failure.
uint8_t ReadWholeMemory(eeprom::Image& into);
// What ReadDeviceImage does with the bytes it read: settings, tag and record into DeviceModel,
// a format-1 record turned into format 2 and an unknown format into an empty record.
void LoadDeviceImage(const eeprom::Image& image);
// How the record write ended (each failure has shown its message).
enum class RecordWriteResult {
    Verified,        // written and read back equal
    WriteFailed,     // no port, or a block refused or unanswered (the blocks before it are written)
    ReadBackDiffers  // written, but the read-back (or its failure) does not show the record
};
// Writes the record held in DeviceModel to bytes 72..93 and verifies it by reading it back.
RecordWriteResult WriteProductRecord();
// The 21 record bytes of DeviceModel in image order (72..92), without the checksum.
std::array<uint8_t, 21> RecordBytesOfModel();
// The checksum that makes those 21 bytes and itself sum to zero.
uint8_t ComputeRecordChecksum();
