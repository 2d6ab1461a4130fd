#include "commands/journal_reading.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "commands/image_store.h"

namespace commands {

namespace store {

std::string JournalField(const nlohmann::json& line, const char* key)
{
    const auto found = line.find(key);
    if (found == line.end() || found->is_null()) return "-";
    return found->is_string() ? found->get<std::string>() : found->dump();
}

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool Wanted(const nlohmann::json& line, const JournalFilter& filter)
{
    return (filter.serial.empty() || JournalField(line, "serial") == filter.serial) &&
           (filter.product.empty() || SameIgnoringCase(JournalField(line, "product"), filter.product));
}

}  // namespace

JournalReading ReadJournal(const std::filesystem::path& dataFolder, const JournalFilter& filter)
{
    JournalReading reading;
    const std::filesystem::path journal = JournalPath(dataFolder);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(journal, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        reading.missing = true;
        return reading;
    }
    // A journal that is there but cannot be read is not an empty history.
    if (error) {
        reading.error = error.message();
        return reading;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        reading.error = "not a regular file";
        return reading;
    }
    std::ifstream in(journal, std::ios::binary);
    if (!in) {
        reading.error = std::strerror(errno);
        return reading;
    }
    for (std::string text; std::getline(in, text);) {
        nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
        if (!line.is_object()) {  // a torn or foreign line is left out, and counted
            ++reading.unreadableLines;
            continue;
        }
        if (Wanted(line, filter)) reading.records.push_back({std::move(line), std::move(text)});
    }
    if (in.bad()) {
        reading.error = std::strerror(errno);
        reading.records.clear();
    }
    return reading;
}

}  // namespace store

}  // namespace commands
