#include "cli/program_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {
namespace {
std::string Failure(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}
}  // namespace

std::string CheckLogWritable(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return Failure(path);
    std::fclose(file);
    return {};
}

std::string AppendLogLine(const std::string& path, const std::string& line)
{
    // Binary mode: the same "\n" line ends on every system, as JSON lines are usually read.
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return Failure(path);
    const std::string text = line + "\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? std::string() : Failure(path);
}

}  // namespace cli
