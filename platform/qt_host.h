// The program's host: the operating system's services with Qt's message box, event processing,
// date format and browser hand-off.
#pragma once

#include "platform/system_host.h"

namespace platform {

class QtHost : public SystemHost {
public:
    using SystemHost::SystemHost;

    std::string FormatShortDate(int32_t dayNumber) override;
    void ProcessMessages() override;
    void ShowMessage(const std::string& text, const std::string& title, Severity severity) override;
    void OpenUrl(const std::string& url) override;
};

}  // namespace platform
