// An emulated programming adapter with an encoder's 128-byte EEPROM behind it. It takes the
// bytes that the host writes, parses the four requests frame by frame, and schedules its
// answers on a microsecond timeline, so that the same core serves virtual time in tests, real
// time in the demo, and a pseudo-terminal in tarv-adapter-sim.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "model/Spremenljivke_Tarv_Config.h"

namespace sim {

using Micros = uint64_t;

// 19200 baud with 8 data bits, no parity and 2 stop bits: 11 bits a byte.
inline constexpr double kWireByteMicros = 11.0 * 1'000'000.0 / 19200.0;  // about 572.9 us

enum class RequestKind { Presence, Signal, EepromRead, EepromWrite, Unknown };
const char* RequestKindName(RequestKind kind);

struct LoggedFrame {
    Micros at = 0;  // when the frame's last byte reached the adapter
    RequestKind kind = RequestKind::Unknown;
    std::vector<uint8_t> bytes;
};

struct AdapterOptions {
    std::optional<uint8_t> presenceAnswer = 4;  // nullopt: presence requests go unanswered
    uint8_t signalAnswer = 0x00;
    Micros latency = 0;                         // from a complete request to its answer
    Micros readLatency = 0;                     // more of it for EEPROM read answers: a slow encoder
    bool wirePacing = false;                    // bytes take their wire time in both directions
    Micros usbLatency = 0;                      // a USB converter's timer: answers pass at its ticks (0: none)
    Micros blockWriteTime = 0;                  // the EEPROM's time per write request, before the status byte
    std::map<uint8_t, uint8_t> blockStatus;     // status byte per write address; 0 refuses (default 1)
    std::set<uint8_t> ignoredBlocks;            // write addresses that get no status and store nothing
    int extraAnswerBytes = 0;                   // stray bytes appended to every answer...
    std::optional<RequestKind> extraBytesOnly;  // ...or only to answers of this kind
    int shortReadBy = 0;                        // EEPROM read answers leave off this many trailing bytes
    std::map<uint8_t, uint8_t> stuckCells;      // worn EEPROM cells that keep their value whatever is written
    std::map<uint8_t, uint8_t> flippedBits;     // cells that store what is written with these bits inverted
    int unplugAfterFrames = -1;                 // answers stop after this many requests (-1: never)
    bool unplugged = false;                     // requests still cross the wire (and are logged), nothing answers
    bool encoderAbsent = false;                 // no encoder on the adapter: presence answers, EEPROM requests do not
    bool portVanished = false;                  // the port itself is gone: every call on it fails
};

class AdapterEmulator {
public:
    explicit AdapterEmulator(const eeprom::Image& image = {}, AdapterOptions options = {});

    AdapterOptions& options() { return options_; }
    eeprom::Image& memory() { return memory_; }
    const eeprom::Image& memory() const { return memory_; }
    const std::vector<LoggedFrame>& log() const { return log_; }
    void ClearLog() { log_.clear(); }
    // Another encoder on the adapter, or none: its memory goes unread and unwritten until the next.
    void PutEncoder(const eeprom::Image& image);
    void RemoveEncoder() { options_.encoderAbsent = true; }
    // Pulls the adapter out after `frames` more requests: they and later ones get no answer.
    void UnplugAfter(int frames) { options_.unplugAfterFrames = framesHandled_ + frames; }
    // How many times the host told the port to this adapter that the adapter answered on it (and
    // so that the port keeps the link's line settings when it closes).
    int adapterAnsweredTold = 0;
    // Called for every complete frame as it is parsed (tarv-adapter-sim prints them).
    void OnFrame(std::function<void(const LoggedFrame&)> sink) { frameSink_ = std::move(sink); }

    // The host wrote `bytes` at `now`.
    void HostWrote(std::span<const uint8_t> bytes, Micros now);
    // Answer bytes that have reached the host by `now`.
    size_t Arrived(Micros now) const;
    size_t Take(std::span<uint8_t> into, Micros now);
    void DiscardArrived(Micros now);
    // When the next answer byte reaches the host; nullopt when nothing is in flight.
    std::optional<Micros> NextArrival() const;

    // Convenience views of the log for assertions.
    std::vector<std::vector<uint8_t>> Frames() const;
    std::vector<std::vector<uint8_t>> FramesOf(RequestKind kind) const;

private:
    void Parse(Micros completeAt);
    void Answer(const LoggedFrame& frame, Micros completeAt);
    void Send(std::vector<uint8_t> answer, RequestKind kind, Micros readyAt);
    Micros ByteTime(size_t bytes) const;
    Micros ReleasedByConverter(Micros arrival) const;

    eeprom::Image memory_;
    AdapterOptions options_;
    std::vector<LoggedFrame> log_;
    std::function<void(const LoggedFrame&)> frameSink_;
    std::vector<uint8_t> input_;                     // received, not yet a complete frame
    Micros inputFreeAt_ = 0;                         // when the host-to-adapter line is free again
    Micros outputFreeAt_ = 0;                        // when the adapter-to-host line is free again
    std::deque<std::pair<Micros, uint8_t>> output_;  // answer bytes with the times the host gets them
    int framesHandled_ = 0;
};

}  // namespace sim
