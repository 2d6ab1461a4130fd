// The test host: a virtual clock that only moves when the code under test polls, sleeps or
// processes messages, emulated adapters behind named ports, and a record of every message box,
// browser call and port opening.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"

namespace platform {

class VirtualHost : public Host {
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    struct Message {
        std::string text;
        std::string title;
        bool operator==(const Message&) const = default;
    };

    explicit VirtualHost(uint32_t startTick = 100'000);

    // Ports: listed ones in the host's order; a name without a factory does not open, as if it
    // did not exist, or for the reason set for it.
    void ListPort(const std::string& name) { listing_.names.push_back(name); }
    void RefusePort(const std::string& name, PortOpenFailure failure) { refusals_[name] = failure; }
    void ConnectPort(const std::string& name, PortFactory factory) { factories_[name] = std::move(factory); }
    void SetListing(PortListing listing) { listing_ = std::move(listing); }
    void SetToday(int32_t day) { today_ = day; }
    void SetVersion(std::string version) { version_ = std::move(version); }
    // The user's short date format; dd.MM.yyyy unless a test chooses another.
    void SetShortDateFormatter(std::function<std::string(int32_t)> formatter) { formatter_ = std::move(formatter); }
    // The user's collation; ASCII letters folded and the bytes compared unless a test chooses another.
    void SetCollation(std::function<int(std::string_view, std::string_view)> collation)
    {
        collation_ = std::move(collation);
    }
    // Runs inside ProcessMessages, as a window event would (a click during a blink, say).
    void OnProcessMessages(std::function<void()> handler) { onProcessMessages_ = std::move(handler); }
    // Runs where a console would idle between the polls of an answer wait; by default the wait
    // spins, as the window's does.
    void OnIdleBetweenPolls(std::function<void(uint32_t maxMs)> handler) { onIdle_ = std::move(handler); }
    // Runs while a message box is up, after it is recorded; returning is the user's OK.
    void OnShowMessage(std::function<void(const Message&)> handler) { onShowMessage_ = std::move(handler); }

    // The clock, in microseconds since the host was made; TickCount adds the start tick.
    uint64_t NowMicros() const { return nowMicros_; }
    void Advance(uint64_t micros) { nowMicros_ += micros; }

    const std::vector<Message>& messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }
    const std::vector<std::string>& openedUrls() const { return openedUrls_; }
    const std::vector<std::string>& openAttempts() const { return openAttempts_; }
    int processMessagesCalls() const { return processMessagesCalls_; }

    OpenedPort OpenSerial(const std::string& name) override;
    PortListing ListPorts() override { return listing_; }
    uint32_t TickCount() override;
    void Sleep(uint32_t ms) override { Advance(uint64_t{ms} * 1000); }
    int32_t Today() override { return today_; }
    std::string VersionString() override { return version_; }
    int CompareIgnoringCase(std::string_view a, std::string_view b) override;
    std::string FormatShortDate(int32_t dayNumber) override;
    void ProcessMessages() override;
    void ShowMessage(const std::string& text, const std::string& title, Severity severity) override;
    void OpenUrl(const std::string& url) override { openedUrls_.push_back(url); }
    void IdleBetweenPolls(SerialPort&, uint32_t maxMs) override
    {
        if (onIdle_) onIdle_(maxMs);
    }

private:
    uint32_t startTick_;
    uint64_t nowMicros_ = 0;
    PortListing listing_;
    std::map<std::string, PortFactory> factories_;
    std::map<std::string, PortOpenFailure> refusals_;
    int32_t today_ = 41647;  // 8 January 2014
    std::string version_ = "2.1.0.0";
    std::function<void()> onProcessMessages_;
    std::function<void(uint32_t)> onIdle_;
    std::function<void(const Message&)> onShowMessage_;
    std::function<std::string(int32_t)> formatter_;
    std::function<int(std::string_view, std::string_view)> collation_;
    std::vector<Message> messages_;
    std::vector<std::string> openedUrls_;
    std::vector<std::string> openAttempts_;
    int processMessagesCalls_ = 0;
};

}  // namespace platform
