// What the benchmarks stand on: tarv-adapter-sim servers on pseudo-terminals, fake /sys/class/tty
// folders that list them as serial ports, the real POSIX host with byte counters on its ports,
// and a timing loop that keeps wall and processor time of every run.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_host.h"
#include "sim/sim_process.h"

namespace bench {

// 19200 baud, 8 data bits, no parity, 2 stop bits: 11 bits on the wire for every byte.
inline constexpr double kWireByteMs = 11.0 * 1000.0 / 19200.0;

// What crossed the program's side of the ports, counted in the port calls themselves, so the
// wire-time limits come from the bytes that really went out and came back.
struct WireCount {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t blockWrites = 0;  // EEPROM write requests among the writes
    uint64_t opens = 0;        // ports opened

    double WireMs() const { return static_cast<double>(sent + received) * kWireByteMs; }
    bool operator==(const WireCount&) const = default;
};
WireCount operator-(const WireCount& a, const WireCount& b);

// The real POSIX host with counting ports. A message box is recorded, never shown: any message
// marks the run as failed.
class BenchHost final : public platform::SystemHost {
public:
    using SystemHost::SystemHost;

    platform::OpenedPort OpenSerial(const std::string& name) override;
    std::string FormatShortDate(int32_t) override { return {}; }
    void ProcessMessages() override {}
    void ShowMessage(const std::string& text, const std::string& title, platform::Severity severity) override;
    void OpenUrl(const std::string&) override {}

    WireCount wire;
    std::vector<std::string> messages;
};

// A scratch folder with dev/ (links to the servers' pty slaves) and fake sysfs views, each
// listing a chosen set of the served ports.
class PortFarm {
public:
    explicit PortFarm(std::string simPath);
    ~PortFarm();
    PortFarm(const PortFarm&) = delete;
    PortFarm& operator=(const PortFarm&) = delete;

    bool Ready() const { return !root_.empty(); }
    // Serves an emulated adapter as port `name`; `args` are tarv-adapter-sim options.
    bool Serve(const std::string& name, std::vector<std::string> args);
    // Paths for a host that lists exactly `names`.
    platform::PosixPaths View(const std::string& view, const std::vector<std::string>& names);

private:
    std::filesystem::path root_;
    std::string simPath_;
    std::vector<std::unique_ptr<sim::SimProcess>> servers_;
};

struct Measurement {
    std::vector<double> wallMs;
    std::vector<double> cpuMs;        // this process only: the servers' time is not the program's
    std::vector<double> preemptions;  // involuntary context switches: how much the machine got in the way
    WireCount perRun;                 // what crossed in the first timed run
    bool steadyWire = true;           // every run moved the same bytes
    int failures = 0;                 // runs that failed or showed a message

    double MedianWall() const;
    double MedianCpu() const;
    double MedianPreemptions() const;
    double MinWall() const;
    double MaxWall() const;
};

double Median(std::vector<double> values);

// Runs `operation` once untimed, then `runs` times timed. `before` (untimed) runs ahead of each
// one; `operation` says whether it succeeded.
Measurement Measure(BenchHost& host, int runs, const std::function<bool()>& operation,
                    const std::function<void()>& before = {});

}  // namespace bench
