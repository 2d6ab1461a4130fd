#include "sim/adapter_emulator.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {
constexpr uint8_t kAdapterGroup = 0x5A;
constexpr uint8_t kEepromGroup = 0x55;
constexpr size_t kHeaderSize = 4;
constexpr size_t kMaxWriteCount = 8;
constexpr uint8_t kStrayByte = 0xEE;

// Which request a header announces, and how long its frame is; 0 for a header not understood.
std::pair<RequestKind, size_t> Classify(const std::vector<uint8_t>& in)
{
    if (in[0] == kAdapterGroup && in[1] == 0x01) return {RequestKind::Presence, kHeaderSize};
    if (in[0] == kAdapterGroup && in[1] == 0x10) return {RequestKind::Signal, kHeaderSize};
    if (in[0] == kEepromGroup && in[1] == 0xA1) return {RequestKind::EepromRead, kHeaderSize};
    if (in[0] == kEepromGroup && in[1] == 0xA0 && in[3] >= 1 && in[3] <= kMaxWriteCount)
        return {RequestKind::EepromWrite, kHeaderSize + in[3]};
    return {RequestKind::Unknown, kHeaderSize};
}
}  // namespace

const char* RequestKindName(RequestKind kind)
{
    switch (kind) {
    case RequestKind::Presence:
        return "presence";
    case RequestKind::Signal:
        return "signal";
    case RequestKind::EepromRead:
        return "eeprom-read";
    case RequestKind::EepromWrite:
        return "eeprom-write";
    case RequestKind::Unknown:
        return "unknown";
    }
    return "unknown";
}

AdapterEmulator::AdapterEmulator(const eeprom::Image& image, AdapterOptions options)
    : memory_(image), options_(std::move(options))
{
}

void AdapterEmulator::PutEncoder(const eeprom::Image& image)
{
    memory_ = image;
    options_.encoderAbsent = false;
}

Micros AdapterEmulator::ByteTime(size_t bytes) const
{
    return options_.wirePacing ? static_cast<Micros>(std::llround(kWireByteMicros * static_cast<double>(bytes))) : 0;
}

// A USB serial converter holds the bytes it receives until its latency timer runs out, then hands
// all of them to the host at once. The timer runs free from the emulator's time zero, so a byte is
// released at the first tick at or after it has crossed the wire. The line itself is not held up:
// the next byte crosses while this one waits.
Micros AdapterEmulator::ReleasedByConverter(Micros arrival) const
{
    const Micros tick = options_.usbLatency;
    if (tick == 0) return arrival;
    return (arrival + tick - 1) / tick * tick;
}

void AdapterEmulator::HostWrote(std::span<const uint8_t> bytes, Micros now)
{
    if (options_.portVanished) return;
    const Micros start = std::max(now, inputFreeAt_);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const Micros arrival = start + ByteTime(i + 1);
        inputFreeAt_ = arrival;
        input_.push_back(bytes[i]);
        Parse(arrival);
    }
}

void AdapterEmulator::Parse(Micros completeAt)
{
    // A byte that starts no known group is line noise: drop it and look at the next one.
    while (!input_.empty() && input_[0] != kAdapterGroup && input_[0] != kEepromGroup) {
        LoggedFrame noise{completeAt, RequestKind::Unknown, {input_[0]}};
        input_.erase(input_.begin());
        log_.push_back(noise);
        if (frameSink_) frameSink_(noise);
    }
    if (input_.size() < kHeaderSize) return;
    const auto [kind, length] = Classify(input_);
    if (input_.size() < length) return;
    LoggedFrame frame{completeAt, kind, {input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length)}};
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
    log_.push_back(frame);
    if (frameSink_) frameSink_(frame);
    ++framesHandled_;
    const bool pulledOut =
        options_.unplugged || (options_.unplugAfterFrames >= 0 && framesHandled_ > options_.unplugAfterFrames);
    if (!pulledOut) Answer(frame, completeAt);
    Parse(completeAt);  // a frame may be followed by another already received
}

void AdapterEmulator::Answer(const LoggedFrame& frame, Micros completeAt)
{
    const auto& b = frame.bytes;
    const Micros ready = completeAt + options_.latency;
    switch (frame.kind) {
    case RequestKind::Presence:
        if (options_.presenceAnswer) Send({*options_.presenceAnswer}, frame.kind, ready);
        break;
    case RequestKind::Signal:
        Send({options_.signalAnswer}, frame.kind, ready);
        break;
    case RequestKind::EepromRead: {
        if (options_.encoderAbsent) break;
        std::vector<uint8_t> answer;
        const int count = std::max(0, int{b[3]} - options_.shortReadBy);
        for (int i = 0; i < count; ++i) answer.push_back(memory_[(b[2] + i) % eeprom::kImageSize]);
        if (!answer.empty()) Send(std::move(answer), frame.kind, ready + options_.readLatency);
        break;
    }
    case RequestKind::EepromWrite: {
        const uint8_t address = b[2];
        if (options_.encoderAbsent || options_.ignoredBlocks.count(address) != 0) break;
        const auto status = options_.blockStatus.count(address) ? options_.blockStatus.at(address) : uint8_t{1};
        if (status != 0) {
            // Like an EEPROM page write, the address wraps within its group of eight.
            const int group = (address % eeprom::kImageSize) & ~7;
            for (int i = 0; i < b[3]; ++i) {
                const int cell = group + ((address + i) & 7);
                const auto flip = options_.flippedBits.find(static_cast<uint8_t>(cell));
                const uint8_t mask = flip != options_.flippedBits.end() ? flip->second : uint8_t{0};
                memory_[cell] = static_cast<uint8_t>(b[kHeaderSize + i] ^ mask);
            }
            for (const auto& [cell, value] : options_.stuckCells) memory_[cell % eeprom::kImageSize] = value;
        }
        Send({status}, frame.kind, ready + options_.blockWriteTime);
        break;
    }
    case RequestKind::Unknown:
        break;
    }
}

void AdapterEmulator::Send(std::vector<uint8_t> answer, RequestKind kind, Micros readyAt)
{
    if (!options_.extraBytesOnly || *options_.extraBytesOnly == kind)
        answer.insert(answer.end(), static_cast<size_t>(std::max(0, options_.extraAnswerBytes)), kStrayByte);
    const Micros start = std::max(readyAt, outputFreeAt_);
    for (size_t i = 0; i < answer.size(); ++i) {
        const Micros arrival = start + ByteTime(i + 1);
        output_.emplace_back(ReleasedByConverter(arrival), answer[i]);
        outputFreeAt_ = arrival;
    }
}

size_t AdapterEmulator::Arrived(Micros now) const
{
    return static_cast<size_t>(
        std::count_if(output_.begin(), output_.end(), [now](const auto& entry) { return entry.first <= now; }));
}

size_t AdapterEmulator::Take(std::span<uint8_t> into, Micros now)
{
    size_t taken = 0;
    while (taken < into.size() && !output_.empty() && output_.front().first <= now) {
        into[taken++] = output_.front().second;
        output_.pop_front();
    }
    return taken;
}

void AdapterEmulator::DiscardArrived(Micros now)
{
    while (!output_.empty() && output_.front().first <= now) output_.pop_front();
}

std::optional<Micros> AdapterEmulator::NextArrival() const
{
    if (output_.empty()) return std::nullopt;
    return output_.front().first;
}

std::vector<std::vector<uint8_t>> AdapterEmulator::Frames() const
{
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& f : log_) frames.push_back(f.bytes);
    return frames;
}

std::vector<std::vector<uint8_t>> AdapterEmulator::FramesOf(RequestKind kind) const
{
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& f : log_)
        if (f.kind == kind) frames.push_back(f.bytes);
    return frames;
}

}  // namespace sim
