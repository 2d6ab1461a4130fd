// tarv-bench: how close the device link comes to the wire. Runs the link's procedures through
// the real POSIX serial code against tarv-adapter-sim servers that pace every byte at 19200 baud
// 8N2 and spend a set time on each EEPROM block write, and compares the median times with the
// time the bytes need on the wire. Prints Markdown tables.
#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_harness.h"
#include "commands/device_watch.h"
#include "commands/program_command.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

using namespace commands;

namespace {
using bench::BenchHost;
using bench::Measurement;

const std::string kAdapterPort = "ttyUSB0";  // sorts after every silent port, so a scan finds it last
constexpr std::array kScanSizes = {1, 4, 16};

// Adapters behind a USB serial converter's latency timer (tarv-adapter-sim --usb-latency): the
// common default, and the 1 ms that low latency or the udev rule gives.
struct ConverterAdapter {
    int timerMs;
    std::string port;
};
const std::array kConverters = {ConverterAdapter{16, "ttyUSB1"}, ConverterAdapter{1, "ttyUSB2"}};

struct Options {
    int runs = 15;
    int blockWriteMs = 5;
    std::string simPath = TARV_ADAPTER_SIM;
};

std::string SilentPort(int index)
{
    char name[24];
    std::snprintf(name, sizeof name, "ttyACM%02d", index);
    return name;
}

std::vector<std::string> SilentPorts(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(SilentPort(i));
    return names;
}

// ---- The operations ---------------------------------------------------------------------

// The link part of a watch tick with an adapter and a known product; the label updates are Qt's.
bool WatchTickWithProduct()
{
    KeepAdapter(SearchAndBlink);
    return !SerialChannel.portName.empty() && SightProduct().model >= 0;
}

// The link part of a watch tick without a port: the ping returns at once, then the search.
bool SearchTick()
{
    KeepAdapter(SearchAndBlink);
    return SerialChannel.portName.empty();
}

// Opens `port` as the search would and reads the encoder's memory into `image`, which every
// programming write then puts back, so all runs see the same memory.
bool TakeAdapter(const std::string& port, eeprom::Image& image)
{
    if (TryPort(port) != kAdapterAnswered) {
        std::fprintf(stderr, "tarv-bench: the adapter on %s does not answer\n", port.c_str());
        return false;
    }
    if (ReadEepromBlock(0, eeprom::kImageSize, image) != 1) {
        std::fprintf(stderr, "tarv-bench: the encoder's memory on %s could not be read\n", port.c_str());
        ReleasePort();
        return false;
    }
    return true;
}

// The transfers that wait for answer after answer: the whole-memory read and PROG's sixteen
// blocks, without and with their read-back.
struct Transfers {
    Measurement read;
    Measurement write;
    Measurement writeAndReadBack;
};

Transfers MeasureTransfers(BenchHost& host, int runs, const eeprom::Image& image)
{
    Transfers t;
    t.read = Measure(host, runs, [] { return ReadDeviceImage() == 1; });
    t.write = Measure(host, runs, [&] { return WriteImage(image) == WriteOutcome::Written; });
    t.writeAndReadBack =
        Measure(host, runs, [&] { return WriteImage(image) == WriteOutcome::Written && ReadDeviceImage() == 1; });
    return t;
}

// ---- The report -------------------------------------------------------------------------

struct Row {
    std::string operation;
    double limitMs = 0;
    std::string target;  // the ratio we aim for, if any
    Measurement m;
};

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Tenths are plenty for the transfers; the cost of an open needs finer figures.
std::string Ms(double ms)
{
    return Fixed(ms, ms < 1 ? 3 : 1);
}

std::string Flags(const Measurement& m)
{
    std::string flags;
    if (m.failures > 0) flags += " (" + std::to_string(m.failures) + " failed)";
    if (!m.steadyWire) flags += " (bytes varied)";
    return flags;
}

void PrintRows(const std::vector<Row>& rows)
{
    std::printf(
        "| Operation | Bytes out + in | Limit (ms) | Median (ms) | Min-max (ms) | Ratio | Target | CPU (ms) "
        "| Preempted |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        const double ratio = r.limitMs > 0 ? r.m.MedianWall() / r.limitMs : 0;
        std::printf("| %s%s | %llu + %llu | %s | %s | %s-%s | %s | %s | %s | %.0f |\n", r.operation.c_str(),
                    Flags(r.m).c_str(), static_cast<unsigned long long>(r.m.perRun.sent),
                    static_cast<unsigned long long>(r.m.perRun.received), r.limitMs > 0 ? Ms(r.limitMs).c_str() : "-",
                    Ms(r.m.MedianWall()).c_str(), Ms(r.m.MinWall()).c_str(), Ms(r.m.MaxWall()).c_str(),
                    r.limitMs > 0 ? Fixed(ratio, 2).c_str() : "-", r.target.empty() ? "-" : r.target.c_str(),
                    Ms(r.m.MedianCpu()).c_str(), r.m.MedianPreemptions());
    }
}

// The transfers' ratios side by side: straight through the pty, and behind each converter timer.
void PrintConverterRatios(const Transfers& pty, const std::map<int, Transfers>& converters,
                          const std::function<double(const Measurement&)>& blockLimit)
{
    std::printf("| Operation | Limit (ms) | pty: median (ms) | ratio |");
    for (const ConverterAdapter& c : kConverters) std::printf(" timer %d ms: median (ms) | ratio |", c.timerMs);
    std::printf("\n|---|---:|---:|---:|");
    for (size_t i = 0; i < kConverters.size(); ++i) std::printf("---:|---:|");
    std::printf("\n");
    const auto row = [&](const char* operation, Measurement Transfers::*which, bool blocks) {
        const Measurement& base = pty.*which;
        const auto limit = [&](const Measurement& m) { return blocks ? blockLimit(m) : m.perRun.WireMs(); };
        std::printf("| %s | %s | %s | %s |", operation, Ms(limit(base)).c_str(), Ms(base.MedianWall()).c_str(),
                    Fixed(base.MedianWall() / limit(base), 2).c_str());
        for (const ConverterAdapter& c : kConverters) {
            const Measurement& m = converters.at(c.timerMs).*which;
            std::printf(" %s%s | %s |", Ms(m.MedianWall()).c_str(), Flags(m).c_str(),
                        Fixed(m.MedianWall() / limit(m), 2).c_str());
        }
        std::printf("\n");
    };
    row("Whole-memory read (ReadDeviceImage)", &Transfers::read, false);
    row("Programming write, 16 blocks", &Transfers::write, true);
    row("Programming write + read-back", &Transfers::writeAndReadBack, true);
}

void PrintTick(const std::string& tick, const Measurement& m, double intervalMs)
{
    const double wall = m.MedianWall();
    const double cpu = m.MedianCpu();
    std::printf("| %s%s | %s | %s | %.0f %% | %.0f | %.1f %% |\n", tick.c_str(), Flags(m).c_str(), Ms(wall).c_str(),
                Ms(cpu).c_str(), wall > 0 ? 100 * cpu / wall : 0, intervalMs, 100 * cpu / (wall + intervalMs));
}

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue)
            options.runs = std::atoi(argv[++i]);
        else if (arg == "--block-write-ms" && hasValue)
            options.blockWriteMs = std::atoi(argv[++i]);
        else if (arg == "--sim" && hasValue)
            options.simPath = argv[++i];
        else
            return false;
    }
    return options.runs >= 1 && options.blockWriteMs >= 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: tarv-bench [--runs N (15)] [--block-write-ms MS (5)] [--sim PATH]\n");
        return 2;
    }
    const std::string loadBefore = LoadAverage();

    // One paced adapter with the stated EEPROM write time, and sixteen paced ports that stay silent.
    bench::PortFarm farm(options.simPath);
    bool served =
        farm.Ready() && farm.Serve(kAdapterPort, {"--pace", "--block-write-ms", std::to_string(options.blockWriteMs)});
    for (const std::string& name : SilentPorts(kScanSizes.back()))
        served = served && farm.Serve(name, {"--pace", "--no-presence"});
    for (const ConverterAdapter& c : kConverters)
        served = served && farm.Serve(c.port, {"--pace", "--block-write-ms", std::to_string(options.blockWriteMs),
                                               "--usb-latency", std::to_string(c.timerMs)});
    if (!served) {
        std::fprintf(stderr, "tarv-bench: could not start tarv-adapter-sim (%s)\n", options.simPath.c_str());
        return 1;
    }

    BenchHost adapterHost(farm.View("adapter", {kAdapterPort}));
    std::map<int, std::unique_ptr<BenchHost>> converterHosts;
    for (const ConverterAdapter& c : kConverters)
        converterHosts[c.timerMs] =
            std::make_unique<BenchHost>(farm.View("converter" + std::to_string(c.timerMs), {c.port}));
    std::map<int, std::unique_ptr<BenchHost>> lastHosts;
    std::map<int, std::unique_ptr<BenchHost>> silentHosts;
    for (const int n : kScanSizes) {
        std::vector<std::string> names = SilentPorts(n - 1);
        names.push_back(kAdapterPort);
        lastHosts[n] = std::make_unique<BenchHost>(farm.View("last" + std::to_string(n), names));
        silentHosts[n] = std::make_unique<BenchHost>(farm.View("silent" + std::to_string(n), SilentPorts(n)));
    }

    const auto blockLimit = [&](const Measurement& m) {
        return m.perRun.WireMs() + static_cast<double>(m.perRun.blockWrites * options.blockWriteMs);
    };
    // A port that does not answer costs its deadline, and its request crosses within it; the
    // answering port costs the wire time of its exchange. Each of them is opened once.
    const auto scanBound = [](const Measurement& m, bool adapterFound) {
        const uint64_t silent = m.perRun.opens - (adapterFound ? 1 : 0);
        const uint64_t requestBytes = AdapterCommand::Presence().size();
        const uint64_t answeringBytes = m.perRun.sent + m.perRun.received - silent * requestBytes;
        return static_cast<double>(silent * kPingDeadlineMs) + static_cast<double>(answeringBytes) * bench::kWireByteMs;
    };

    std::vector<Row> rows;
    Measurement knownTick;
    Transfers ptyTransfers;
    {
        platform::ScopedHost installed(adapterHost);
        eeprom::Image image{};
        if (!TakeAdapter(kAdapterPort, image)) return 1;

        ptyTransfers = MeasureTransfers(adapterHost, options.runs, image);
        rows.push_back(
            {"Whole-memory read (ReadDeviceImage)", ptyTransfers.read.perRun.WireMs(), "1.25", ptyTransfers.read});
        rows.push_back({"Programming write, 16 blocks", blockLimit(ptyTransfers.write), "1.10", ptyTransfers.write});
        rows.push_back({"Programming write + read-back (ReadDeviceImage)", blockLimit(ptyTransfers.writeAndReadBack),
                        "", ptyTransfers.writeAndReadBack});

        Measurement m = Measure(adapterHost, options.runs, [] {
            WriteProductRecord();
            return true;  // failures show as messages
        });
        rows.push_back({"Product record write + read-back (WriteProductRecord)", blockLimit(m), "", m});

        knownTick = Measure(adapterHost, options.runs, WatchTickWithProduct);
        rows.push_back({"Watch tick, known product (PingAdapter + ReadEepromBlock(73, 4))", knownTick.perRun.WireMs(),
                        "", knownTick});
        ReleasePort();
    }

    std::vector<Row> converterRows;
    std::map<int, Transfers> converterTransfers;
    for (const ConverterAdapter& c : kConverters) {
        BenchHost& host = *converterHosts[c.timerMs];
        platform::ScopedHost installed(host);
        eeprom::Image image{};
        if (!TakeAdapter(c.port, image)) return 1;
        const Transfers t = MeasureTransfers(host, options.runs, image);
        ReleasePort();
        converterTransfers[c.timerMs] = t;
        const std::string timer = ", converter timer " + std::to_string(c.timerMs) + " ms";
        converterRows.push_back({"Whole-memory read" + timer, t.read.perRun.WireMs(), "", t.read});
        converterRows.push_back({"Programming write, 16 blocks" + timer, blockLimit(t.write), "", t.write});
        converterRows.push_back(
            {"Programming write + read-back" + timer, blockLimit(t.writeAndReadBack), "", t.writeAndReadBack});
    }

    std::map<int, Measurement> searchTicks;
    for (const int n : kScanSizes) {
        BenchHost& last = *lastHosts[n];
        platform::ScopedHost installed(last);
        const Measurement m = Measure(
            last, options.runs, [] { return ScanForAdapter() && SerialChannel.portName == kAdapterPort; }, ReleasePort);
        ReleasePort();
        rows.push_back({"Scan, adapter last of " + std::to_string(n), scanBound(m, true), "", m});
    }
    for (const int n : kScanSizes) {
        BenchHost& silent = *silentHosts[n];
        platform::ScopedHost installed(silent);
        searchTicks[n] = Measure(silent, options.runs, SearchTick, ReleasePort);
        rows.push_back(
            {"Scan, no adapter among " + std::to_string(n), scanBound(searchTicks[n], false), "", searchTicks[n]});
    }
    {
        BenchHost& silent = *silentHosts[1];
        platform::ScopedHost installed(silent);
        const auto openAndClose = [&] { return silent.OpenSerial(SilentPort(0)).port != nullptr; };
        const Measurement m = Measure(silent, options.runs, openAndClose);
        rows.push_back({"Open, configure and close one port", 0, "", m});
    }

    utsname system{};
    uname(&system);
    std::printf("tarv-bench: %d runs per operation, EEPROM block write %d ms, wire 19200 baud 8N2 (%.4f ms a byte)\n",
                options.runs, options.blockWriteMs, bench::kWireByteMs);
    std::printf("%s %s, %u CPUs, load average before %s, after %s\n\n", system.sysname, system.release,
                std::thread::hardware_concurrency(), loadBefore.c_str(), LoadAverage().c_str());
    PrintRows(rows);
    std::printf("\nBehind a USB serial converter's latency timer (tarv-adapter-sim --usb-latency MS):\n\n");
    PrintRows(converterRows);
    std::printf("\n");
    PrintConverterRatios(ptyTransfers, converterTransfers, blockLimit);
    std::printf(
        "\n| Watch tick (link part) | Handler wall (ms) | CPU (ms) | CPU / handler wall | Interval (ms) "
        "| CPU / (wall + interval) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    PrintTick("Adapter and known product: ping + product name", knownTick, kWatchIntervalWithPortMs);
    for (const int n : kScanSizes)
        PrintTick("No adapter: search of " + std::to_string(n) + " port(s)", searchTicks[n],
                  kWatchIntervalWithoutPortMs);

    const auto noFailures = [](const std::vector<Row>& list) {
        return std::all_of(list.begin(), list.end(), [](const Row& r) { return r.m.failures == 0; });
    };
    const bool clean = noFailures(rows) && noFailures(converterRows);
    if (!clean) {
        std::printf("\nSome runs failed; messages seen:\n");
        std::vector<BenchHost*> hosts = {&adapterHost};
        for (const auto& [timer, host] : converterHosts) hosts.push_back(host.get());
        for (const int n : kScanSizes) hosts.insert(hosts.end(), {lastHosts[n].get(), silentHosts[n].get()});
        for (const BenchHost* host : hosts)
            for (const std::string& message : host->messages) std::printf("  %s\n", message.c_str());
    }
    return clean ? 0 : 1;
}
