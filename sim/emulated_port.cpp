#include "sim/emulated_port.h"

namespace sim {

EmulatedPort::EmulatedPort(std::shared_ptr<AdapterEmulator> adapter, std::function<Micros()> clock)
    : adapter_(std::move(adapter)), clock_(std::move(clock))
{
}

void EmulatedPort::DiscardReceived()
{
    if (!Vanished()) adapter_->DiscardArrived(clock_());
}

std::optional<uint32_t> EmulatedPort::BytesWaiting()
{
    if (Vanished()) return std::nullopt;
    return static_cast<uint32_t>(adapter_->Arrived(clock_()));
}

void EmulatedPort::Write(std::span<const uint8_t> bytes)
{
    if (!Vanished()) adapter_->HostWrote(bytes, clock_());
}

size_t EmulatedPort::Read(std::span<uint8_t> into)
{
    return Vanished() ? 0 : adapter_->Take(into, clock_());
}

}  // namespace sim
