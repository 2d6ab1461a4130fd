#include "bench/bench_harness.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/Procedure_Tarv_Config.h"

namespace bench {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Passes every call through to the real port and counts the bytes on the way.
class CountingPort final : public platform::SerialPort {
public:
    CountingPort(std::unique_ptr<platform::SerialPort> port, WireCount& wire) : port_(std::move(port)), wire_(wire) {}

    void DiscardReceived() override
    {
        // Bytes thrown away still crossed the wire.
        if (const auto waiting = port_->BytesWaiting()) wire_.received += *waiting;
        port_->DiscardReceived();
    }
    std::optional<uint32_t> BytesWaiting() override { return port_->BytesWaiting(); }
    void Write(std::span<const uint8_t> bytes) override
    {
        wire_.sent += bytes.size();
        if (bytes.size() >= 2 && bytes[0] == AdapterCommand::kEepromGroup && bytes[1] == AdapterCommand::kEepromWrite)
            ++wire_.blockWrites;
        port_->Write(bytes);
    }
    size_t Read(std::span<uint8_t> into) override
    {
        const size_t got = port_->Read(into);
        wire_.received += got;
        return got;
    }
    // The port then asks its driver for low latency, as the program's does.
    void AdapterAnswered() override { port_->AdapterAnswered(); }

private:
    std::unique_ptr<platform::SerialPort> port_;
    WireCount& wire_;
};

double CpuNowMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double InvoluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_nivcsw);
}

double WallNowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

WireCount operator-(const WireCount& a, const WireCount& b)
{
    return {a.sent - b.sent, a.received - b.received, a.blockWrites - b.blockWrites, a.opens - b.opens};
}

platform::OpenedPort BenchHost::OpenSerial(const std::string& name)
{
    platform::OpenedPort opened = SystemHost::OpenSerial(name);
    if (!opened.port) return opened;
    ++wire.opens;
    return {std::make_unique<CountingPort>(std::move(opened.port), wire), platform::PortOpenFailure::None};
}

void BenchHost::ShowMessage(const std::string& text, const std::string& title, platform::Severity)
{
    messages.push_back(title + ": " + text);
}

PortFarm::PortFarm(std::string simPath) : simPath_(std::move(simPath))
{
    std::string pattern = (fs::temp_directory_path() / "tarv-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    root_ = pattern;
    fs::create_directories(root_ / "dev");
}

PortFarm::~PortFarm()
{
    servers_.clear();  // the servers remove their links as they end
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
}

bool PortFarm::Serve(const std::string& name, std::vector<std::string> args)
{
    args.insert(args.end(), {"--log", "/dev/null", "--link", (root_ / "dev" / name).string()});
    return !servers_.emplace_back(std::make_unique<sim::SimProcess>(simPath_, std::move(args)))->slavePath().empty();
}

platform::PosixPaths PortFarm::View(const std::string& view, const std::vector<std::string>& names)
{
    const fs::path sys = root_ / ("sys-" + view);
    fs::create_directories(sys);
    for (const std::string& name : names) fs::create_directories(sys / name / "device");
    return {.sysClassTty = sys.string(), .devDir = (root_ / "dev").string()};
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Measurement::MedianWall() const
{
    return Median(wallMs);
}
double Measurement::MedianCpu() const
{
    return Median(cpuMs);
}
double Measurement::MedianPreemptions() const
{
    return Median(preemptions);
}
double Measurement::MinWall() const
{
    return wallMs.empty() ? 0 : *std::min_element(wallMs.begin(), wallMs.end());
}
double Measurement::MaxWall() const
{
    return wallMs.empty() ? 0 : *std::max_element(wallMs.begin(), wallMs.end());
}

Measurement Measure(BenchHost& host, int runs, const std::function<bool()>& operation,
                    const std::function<void()>& before)
{
    Measurement result;
    for (int run = -1; run < runs; ++run) {  // run -1 warms up caches and the servers
        if (before) before();
        const WireCount wireBefore = host.wire;
        const size_t messagesBefore = host.messages.size();
        const double switches0 = InvoluntarySwitches();
        const double cpu0 = CpuNowMs();
        const double wall0 = WallNowMs();
        const bool ok = operation();
        const double wall1 = WallNowMs();
        const double cpu1 = CpuNowMs();
        const double switches1 = InvoluntarySwitches();
        if (run < 0) continue;
        const WireCount crossed = host.wire - wireBefore;
        if (run == 0)
            result.perRun = crossed;
        else if (!(crossed == result.perRun))
            result.steadyWire = false;
        if (!ok || host.messages.size() != messagesBefore) ++result.failures;
        result.wallMs.push_back(wall1 - wall0);
        result.cpuMs.push_back(cpu1 - cpu0);
        result.preemptions.push_back(switches1 - switches0);
    }
    return result;
}

}  // namespace bench
