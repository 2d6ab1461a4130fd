// What the end-to-end tests share: the real operating-system host with its UI services recorded
// instead of shown, and a scratch folder that goes away with the test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_host.h"

class RecordingSystemHost final : public platform::SystemHost {
public:
    using SystemHost::SystemHost;

    // Text and title of every message box, in order.
    std::vector<std::pair<std::string, std::string>> messages;

    std::string FormatShortDate(int32_t) override { return {}; }
    void ProcessMessages() override {}
    void ShowMessage(const std::string& text, const std::string& title, platform::Severity) override
    {
        messages.emplace_back(text, title);
    }
    void OpenUrl(const std::string&) override {}
};

#ifndef _WIN32
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarv-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
#endif
