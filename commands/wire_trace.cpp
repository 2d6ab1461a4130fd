#include "commands/wire_trace.h"

#include <cerrno>
#include <cstring>

#include "commands/hex_text.h"
#include "commands/iso_time.h"
#include "link/Procedure_Tarv_Config.h"
#include "platform/durable_files.h"

namespace commands {

std::unique_ptr<WireTrace> WireTrace::Start(const std::string& path, const std::string& program, int64_t unixSeconds,
                                            std::string& error, WriteFailed writeFailed)
{
    // Never waits for a reader: a FIFO that no program reads is refused at once.
    std::FILE* file = platform::OpenAppendStream(path, error);
    if (file == nullptr) return nullptr;
    std::unique_ptr<WireTrace> trace(new WireTrace(file, path, std::move(writeFailed)));
    trace->WriteLine("# " + program + ", trace started " + UtcTimestamp(unixSeconds) + "\n");
    trace->ObserveHere();
    return trace;
}

void WireTrace::ObserveHere(const std::string& portName)
{
    ObserveWire([this, portName](const std::string& port, char direction, std::span<const uint8_t> bytes) {
        Write(portName.empty() ? port : portName, direction, bytes);
    });
}

WireTrace::WireTrace(std::FILE* file, std::string path, WriteFailed writeFailed)
    : file_(file), path_(std::move(path)), writeFailed_(std::move(writeFailed))
{
}

WireTrace::~WireTrace()
{
    ObserveWire({});
    std::fclose(file_);
}

void WireTrace::Write(const std::string& port, char direction, std::span<const uint8_t> bytes)
{
    // One line at a time, timed in the order they are written: no line is torn by another port's,
    // and the times never go back.
    const std::lock_guard<std::mutex> lock(lock_);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    WriteLine(WireTraceLine(ms, port, direction, bytes) + "\n");
}

void WireTrace::WriteLine(const std::string& line)
{
    const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size();
    if ((std::fflush(file_) == 0 && written) || failed_) return;
    failed_ = true;
    std::clearerr(file_);
    if (writeFailed_) writeFailed_(path_ + ": " + std::strerror(errno));
}

std::string WireTraceLine(double millisecondsSinceStart, const std::string& port, char direction,
                          std::span<const uint8_t> bytes)
{
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", millisecondsSinceStart);
    std::string line = std::string(time) + " " + port + " " + direction;
    if (!bytes.empty()) line += " " + HexBytes(bytes);
    return line;
}

}  // namespace commands
