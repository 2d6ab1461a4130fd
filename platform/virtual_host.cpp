#include "platform/virtual_host.h"

#include <algorithm>
#include <cstdio>

#include "model/day_number.h"

namespace platform {
namespace {
// Every poll of the receive queue costs one virtual millisecond, so a busy-wait against a
// deadline ends after exactly as many polls as the deadline has milliseconds.
class ClockedPort final : public SerialPort {
public:
    ClockedPort(std::unique_ptr<SerialPort> inner, VirtualHost& host) : inner_(std::move(inner)), host_(host) {}
    void DiscardReceived() override { inner_->DiscardReceived(); }
    std::optional<uint32_t> BytesWaiting() override
    {
        host_.Advance(1000);
        return inner_->BytesWaiting();
    }
    void Write(std::span<const uint8_t> bytes) override { inner_->Write(bytes); }
    size_t Read(std::span<uint8_t> into) override { return inner_->Read(into); }
    void AdapterAnswered() override { inner_->AdapterAnswered(); }

private:
    std::unique_ptr<SerialPort> inner_;
    VirtualHost& host_;
};

char FoldAsciiCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

VirtualHost::VirtualHost(uint32_t startTick) : startTick_(startTick) {}

OpenedPort VirtualHost::OpenSerial(const std::string& name)
{
    openAttempts_.push_back(name);
    if (const auto refused = refusals_.find(name); refused != refusals_.end()) return {nullptr, refused->second};
    const auto found = factories_.find(name);
    if (found == factories_.end()) return {nullptr, PortOpenFailure::NotFound};
    auto inner = found->second();
    if (!inner) return {nullptr, PortOpenFailure::Other};
    return {std::make_unique<ClockedPort>(std::move(inner), *this), PortOpenFailure::None};
}

uint32_t VirtualHost::TickCount()
{
    return static_cast<uint32_t>(startTick_ + nowMicros_ / 1000);
}

int VirtualHost::CompareIgnoringCase(std::string_view a, std::string_view b)
{
    if (collation_) return collation_(a, b);
    const auto less = [](char x, char y) {
        return static_cast<unsigned char>(FoldAsciiCase(x)) < static_cast<unsigned char>(FoldAsciiCase(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return -1;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return 1;
    return 0;
}

std::string VirtualHost::FormatShortDate(int32_t dayNumber)
{
    if (formatter_) return formatter_(dayNumber);
    const CivilDate date = DateFromDayNumber(dayNumber);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", date.day, date.month, date.year);
    return text;
}

void VirtualHost::ProcessMessages()
{
    ++processMessagesCalls_;
    Advance(1000);
    if (onProcessMessages_) onProcessMessages_();
}

void VirtualHost::ShowMessage(const std::string& text, const std::string& title, Severity)
{
    messages_.push_back({text, title});
    // A copy: the handler may show further boxes, which grow the record.
    if (onShowMessage_) onShowMessage_(Message{text, title});
}

}  // namespace platform
