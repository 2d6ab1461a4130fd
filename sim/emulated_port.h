// A serial port that leads straight to an AdapterEmulator, on whatever clock the host keeps.
#pragma once

#include <functional>
#include <memory>

#include "platform/host.h"
#include "sim/adapter_emulator.h"

namespace sim {

class EmulatedPort final : public platform::SerialPort {
public:
    EmulatedPort(std::shared_ptr<AdapterEmulator> adapter, std::function<Micros()> clock);

    void DiscardReceived() override;
    std::optional<uint32_t> BytesWaiting() override;
    void Write(std::span<const uint8_t> bytes) override;
    size_t Read(std::span<uint8_t> into) override;
    void AdapterAnswered() override { ++adapter_->adapterAnsweredTold; }

private:
    bool Vanished() const { return adapter_->options().portVanished; }

    std::shared_ptr<AdapterEmulator> adapter_;
    std::function<Micros()> clock_;
};

}  // namespace sim
