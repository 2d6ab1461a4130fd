// Reading tarv-adapter-sim's frame log (--log FILE): one line per request the emulator received,
// with the line settings that the client had set at that moment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

// One line of the log: "  12.345 presence  5A 01 00 00  | 19200 8N2".
struct LoggedRequest {
    std::string kind;
    std::string bytes;
    std::string line;  // the line settings at the time of the request
    bool operator==(const LoggedRequest&) const = default;
};

inline void PrintTo(const LoggedRequest& r, std::ostream* os)
{
    *os << r.kind << " [" << r.bytes << "] " << r.line;
}

inline std::vector<LoggedRequest> ParseLog(const std::filesystem::path& path)
{
    std::vector<LoggedRequest> requests;
    std::ifstream log(path);
    for (std::string text; std::getline(log, text);) {
        const size_t bar = text.find(" | ");
        std::istringstream fields(text.substr(0, bar));
        LoggedRequest request;
        double ms = 0;
        fields >> ms >> request.kind >> std::ws;
        std::getline(fields, request.bytes);
        request.bytes.erase(request.bytes.find_last_not_of(' ') + 1);
        request.line = bar == std::string::npos ? "" : text.substr(bar + 3);
        requests.push_back(request);
    }
    return requests;
}

// Bytes as the log writes them: "55 A0 48".
inline std::string Hex(std::span<const uint8_t> bytes)
{
    std::string text;
    for (const uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%s%02X", text.empty() ? "" : " ", byte);
        text += digits;
    }
    return text;
}
