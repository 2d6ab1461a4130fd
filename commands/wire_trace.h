// A trace of the wire in a file: a header line naming the program, its version and the start
// time, then one line per transfer, "<ms since the start, one decimal> <port> <direction>
// <bytes in hex>", the direction '>' for sent, '<' for received and 'x' for bytes thrown away by
// a discard. An existing file is appended to; each line is flushed as it happens, so a trace
// survives a crash.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace commands {

class WireTrace {
public:
    // Hears, once, why a line could not be written (a full disk): the trace has a gap from there.
    // The command goes on; its result does not depend on its trace.
    using WriteFailed = std::function<void(const std::string& reason)>;

    // Opens `path` and observes the serial channel until the trace is destroyed; nullptr, with
    // the reason in `error`, when the file cannot be opened.
    static std::unique_ptr<WireTrace> Start(const std::string& path, const std::string& program, int64_t unixSeconds,
                                            std::string& error, WriteFailed writeFailed = {});
    ~WireTrace();
    // Observes the calling thread's serial channel too (Start observes its caller's); the
    // observer goes when the thread ends, or when the trace does on the thread that started it.
    // Its lines name the port `portName` (as the user gave it: two ports may share their last
    // path component), or without one the port as the channel opened it.
    void ObserveHere(const std::string& portName = {});
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;

private:
    WireTrace(std::FILE* file, std::string path, WriteFailed writeFailed);
    void Write(const std::string& port, char direction, std::span<const uint8_t> bytes);
    void WriteLine(const std::string& line);

    std::FILE* file_;
    std::string path_;
    WriteFailed writeFailed_;
    bool failed_ = false;
    std::mutex lock_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The line of one transfer, without its line end.
std::string WireTraceLine(double millisecondsSinceStart, const std::string& port, char direction,
                          std::span<const uint8_t> bytes);

}  // namespace commands
