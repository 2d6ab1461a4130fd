#include "fuzz/answer_fuzzer.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/virtual_host.h"
#include "support/program_state.h"

namespace {

// Reads the input front to back; once it is used up every further byte is 0.
class InputReader {
public:
    explicit InputReader(std::span<const uint8_t> input) : input_(input) {}
    uint8_t Next() { return position_ < input_.size() ? input_[position_++] : 0; }

private:
    std::span<const uint8_t> input_;
    size_t position_ = 0;
};

// What the port did, for the checks after the procedure returned.
struct PortRecord {
    std::vector<std::vector<uint8_t>> writes;
    std::vector<uint8_t> lastReadAsked;
    std::vector<uint8_t> lastReadDelivered;
    size_t reads = 0;
};

// A port whose adapter answers as the input says. Arrival times are virtual milliseconds.
class ScriptedPort final : public platform::SerialPort {
public:
    ScriptedPort(InputReader& input, platform::VirtualHost& host, PortRecord& record)
        : input_(input), host_(host), record_(record)
    {
    }

    void DiscardReceived() override
    {
        if (discardFails_) return;
        while (!queue_.empty() && queue_.front().first <= Now()) queue_.pop_front();
    }

    std::optional<uint32_t> BytesWaiting() override
    {
        if (queryFailsAfter_ >= 0 && queries_++ >= queryFailsAfter_) return std::nullopt;
        // The queue is kept in arrival order, so the bytes that have arrived are a prefix of it.
        const auto arrived = std::upper_bound(queue_.begin(), queue_.end(), Now(),
                                              [](uint64_t now, const auto& entry) { return now < entry.first; });
        return static_cast<uint32_t>(arrived - queue_.begin());
    }

    void Write(std::span<const uint8_t> bytes) override
    {
        record_.writes.emplace_back(bytes.begin(), bytes.end());
        const uint8_t mode = input_.Next();
        discardFails_ = mode & 0x01;
        queryFailsAfter_ = (mode & 0x02) ? input_.Next() : -1;
        queries_ = 0;
        shortReadBy_ = (mode & 0x04) ? input_.Next() % 8 : 0;
        uint64_t at = Now();
        const int pieces = input_.Next() % 5;
        for (int piece = 0; piece < pieces; ++piece) {
            at += input_.Next() * 3u;  // up to 765 ms: on both sides of every deadline
            const uint8_t lengthByte = input_.Next();
            const size_t length = (lengthByte & 0x80) ? (lengthByte & 0x7F) * 2u : lengthByte % 40u;
            for (size_t i = 0; i < length; ++i) queue_.emplace_back(at, input_.Next());
        }
        std::stable_sort(queue_.begin(), queue_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    size_t Read(std::span<uint8_t> into) override
    {
        ++record_.reads;
        record_.lastReadAsked.assign(into.size(), 0);
        record_.lastReadDelivered.clear();
        const size_t limit = into.size() > shortReadBy_ ? into.size() - shortReadBy_ : 0;
        while (record_.lastReadDelivered.size() < limit && !queue_.empty() && queue_.front().first <= Now()) {
            into[record_.lastReadDelivered.size()] = queue_.front().second;
            record_.lastReadDelivered.push_back(queue_.front().second);
            queue_.pop_front();
        }
        return record_.lastReadDelivered.size();
    }

private:
    uint64_t Now() const { return host_.NowMicros() / 1000; }

    InputReader& input_;
    platform::VirtualHost& host_;
    PortRecord& record_;
    std::deque<std::pair<uint64_t, uint8_t>> queue_;
    bool discardFails_ = false;
    int queryFailsAfter_ = -1;
    int queries_ = 0;
    size_t shortReadBy_ = 0;
};

bool SameModel(const DeviceModelState& a, const DeviceModelState& b)
{
    return a.DeviceTag == b.DeviceTag && a.ConfigBlock == b.ConfigBlock &&
           a.ProductFamilyFlags == b.ProductFamilyFlags && a.FormatVersion == b.FormatVersion &&
           a.ProductName == b.ProductName && a.CarriedBytes == b.CarriedBytes && a.SerialNumber == b.SerialNumber &&
           a.ManufacturedDate == b.ManufacturedDate && a.LastChangedDate == b.LastChangedDate &&
           a.RecordChecksum == b.RecordChecksum && a.WatchIdle == b.WatchIdle && a.EdgeTableId == b.EdgeTableId;
}

std::optional<std::string> Check(bool holds, const char* what)
{
    return holds ? std::nullopt : std::optional<std::string>(what);
}

// Longest wait each procedure may take on the virtual clock, with room for the poll pauses.
constexpr uint64_t kPingBoundMs = 60;
constexpr uint64_t kBlockReadBoundMs = 520;
constexpr uint64_t kBlockWriteBoundMs = 510;
constexpr uint64_t kImageReadBoundMs = 4 * 511 + 10;  // each request may use most of its 500 ms
constexpr uint64_t kRecordWriteBoundMs = 3 * kBlockWriteBoundMs + kBlockReadBoundMs;
constexpr uint64_t kBlinkBoundMs = 4 * 310;

std::optional<std::string> CheckImageRead(const PortRecord& port, uint8_t result, const DeviceModelState& before)
{
    if (result == 0) return Check(SameModel(DeviceModel, before), "a failed image read changed DeviceModel");
    const auto& got = port.lastReadDelivered;
    if (port.lastReadAsked.size() != 128 || got.size() != 128) return "an image read succeeded without 128 bytes read";
    if (!std::equal(got.begin(), got.begin() + 16, DeviceModel.ConfigBlock.begin()))
        return "ConfigBlock is not the answer's first 16 bytes";
    if (!std::equal(got.begin() + 120, got.end(), DeviceModel.DeviceTag.begin()))
        return "DeviceTag is not the answer's last 8 bytes";
    return Check(DeviceModel.FormatVersion == 2, "the model's record is not in format 2");
}

std::optional<std::string> CheckBlockRead(const PortRecord& port, uint8_t result, uint8_t count,
                                          const std::vector<uint8_t>& buffer)
{
    if (result == 0) {
        return Check(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xA5; }),
                     "a failed block read touched the buffer");
    }
    if (port.lastReadDelivered.size() != count) return "a block read succeeded with a short read";
    return Check(std::equal(buffer.begin(), buffer.end(), port.lastReadDelivered.begin()),
                 "the buffer does not hold the bytes read");
}

std::optional<std::string> CheckBlockWrite(const PortRecord& port, WriteOutcome outcome, size_t dataSize)
{
    if (dataSize == 0 || dataSize > 8)
        return Check(outcome == WriteOutcome::Refused && port.writes.empty(), "a write of a wrong size was sent");
    if (outcome == WriteOutcome::NoAnswer) return std::nullopt;
    if (port.lastReadDelivered.size() != 1) return "a write outcome came without a status byte";
    const bool refused = port.lastReadDelivered[0] == 0;
    return Check(refused == (outcome == WriteOutcome::Refused), "the outcome does not match the status byte");
}

std::optional<std::string> RunProcedure(InputReader& input, platform::VirtualHost& host, PortRecord& port)
{
    const uint64_t start = host.NowMicros();
    const auto within = [&](uint64_t boundMs) { return (host.NowMicros() - start) / 1000 <= boundMs; };
    const DeviceModelState before = DeviceModel;
    switch (input.Next() % 7) {
    case 0: {
        const bool open = PortIsOpen();
        const uint8_t answer = PingAdapter();
        if (!open) return Check(answer == 1 && port.writes.empty(), "ping without a port sent something");
        if (answer != 0 && port.lastReadDelivered != std::vector<uint8_t>{answer}) return "ping answer not read";
        return Check(within(kPingBoundMs), "ping overran its deadline");
    }
    case 1: {
        const uint8_t address = input.Next();
        const uint8_t count = input.Next();
        std::vector<uint8_t> buffer(count, 0xA5);
        const uint8_t result = ReadEepromBlock(address, count, buffer);
        if (auto fault = CheckBlockRead(port, result, count, buffer)) return fault;
        return Check(within(kBlockReadBoundMs), "block read overran its deadline");
    }
    case 2: {
        std::vector<uint8_t> data(input.Next() % 10);
        for (auto& b : data) b = input.Next();
        const WriteOutcome outcome = WriteEepromBlock(input.Next(), data);
        if (auto fault = CheckBlockWrite(port, outcome, data.size())) return fault;
        return Check(within(kBlockWriteBoundMs), "block write overran its deadline");
    }
    case 3: {
        const uint8_t result = ReadDeviceImage();
        if (auto fault = CheckImageRead(port, result, before)) return fault;
        return Check(within(kImageReadBoundMs), "image read overran its deadline");
    }
    case 4:
        WriteProductRecord();
        if (!SameModel(DeviceModel, before)) return "writing the record changed DeviceModel";
        return Check(within(kRecordWriteBoundMs), "record write overran its deadline");
    case 5:
        BlinkAdapter(2, 20);
        return Check(within(kBlinkBoundMs), "blink overran its deadlines");
    default: {
        const bool found = ScanForAdapter();
        if (found != (PortIsOpen() && !SerialChannel.portName.empty())) return "scan result and channel disagree";
        if (!found && (PortIsOpen() || !SerialChannel.portName.empty())) return "a failed scan left a port";
        return Check(within(kPingBoundMs), "scan of one port overran its deadline");
    }
    }
}

}  // namespace

std::optional<std::string> RunAnswerFuzzCase(std::span<const uint8_t> input)
{
    InputReader reader(input);
    platform::VirtualHost host(static_cast<uint32_t>(0xFFFFFF00u + reader.Next()));  // near the tick wrap
    platform::ScopedHost installed(host);
    ResetProgramState();
    PortRecord port;
    host.ListPort("COM1");
    host.ConnectPort("COM1", [&] { return std::make_unique<ScriptedPort>(reader, host, port); });
    if (reader.Next() & 1) OpenPort("COM1");
    auto fault = RunProcedure(reader, host, port);
    ResetProgramState();
    return fault;
}
