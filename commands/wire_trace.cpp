#include "commands/wire_trace.h"

#include <cerrno>
#include <cstring>

#include "commands/iso_time.h"
#include "link/Procedure_Tarv_Config.h"

std::unique_ptr<WireTrace> WireTrace::Start(const std::string& path, const std::string& program, int64_t unixSeconds,
                                            std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::fprintf(file, "# %s, trace started %s\n", program.c_str(), UtcTimestamp(unixSeconds).c_str());
    std::fflush(file);
    std::unique_ptr<WireTrace> trace(new WireTrace(file));
    ObserveWire([t = trace.get()](const std::string& port, char direction, std::span<const uint8_t> bytes) {
        t->Write(port, direction, bytes);
    });
    return trace;
}

WireTrace::WireTrace(std::FILE* file) : file_(file) {}

WireTrace::~WireTrace()
{
    ObserveWire({});
    std::fclose(file_);
}

void WireTrace::Write(const std::string& port, char direction, std::span<const uint8_t> bytes)
{
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    const std::string line = WireTraceLine(ms, port, direction, bytes) + "\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

std::string WireTraceLine(double millisecondsSinceStart, const std::string& port, char direction,
                          std::span<const uint8_t> bytes)
{
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", millisecondsSinceStart);
    std::string line = std::string(time) + " " + port + " " + direction;
    for (const uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(byte));
        line += hex;
    }
    return line;
}
