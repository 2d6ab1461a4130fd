// Items of a message written as a list: "ttyS0, ttyUSB0".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline std::string Joined(const std::vector<std::string>& items, std::string_view separator = ", ")
{
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text.append(separator);
        text.append(item);
    }
    return text;
}

}  // namespace cli
