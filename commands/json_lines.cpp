#include "commands/json_lines.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
std::string Failure(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}
}  // namespace

std::string JsonText(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string CheckAppendable(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return Failure(path);
    std::fclose(file);
    return {};
}

std::string AppendLine(const std::string& path, const std::string& line)
{
    // Binary mode: the same "\n" line ends on every system, as JSON lines are usually read. A line
    // shorter than the stream's buffer leaves in one write at the close, so lines appended by two
    // programs at once do not mix.
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return Failure(path);
    const std::string text = line + "\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? std::string() : Failure(path);
}
