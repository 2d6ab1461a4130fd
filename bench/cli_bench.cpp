// tarv-cli-bench: tarv-cli as a whole process against a paced tarv-adapter-sim on a
// pseudo-terminal: how long `info` and `program` take against the time their bytes need on the
// wire, and how much processor time the tarv-cli process uses meanwhile.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_harness.h"
#include "sim/sim_process.h"

namespace {

// 11 bits a byte at 19200 baud.
constexpr double kByteMs = 11.0 / 19200.0 * 1000.0;

struct Options {
    std::string cli = TARV_CLI;
    int runs = 15;
    int blockWriteMs = 5;
};

struct ChildRun {
    double wallMs = 0;
    double cpuMs = 0;  // user + system of the child alone
    int exitCode = -1;
};

ChildRun RunChild(const std::string& program, const std::vector<std::string>& args)
{
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = sim::SpawnProcess(program, args, sim::kInheritStream, sim::kNullStream, sim::kNullStream);
    if (pid < 0) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct Row {
    std::string what;
    double limitMs;
    std::vector<double> wall;
    std::vector<double> cpu;
    int failures = 0;
};

void Print(const Row& row)
{
    const double wall = bench::Median(row.wall);
    const double cpu = bench::Median(row.cpu);
    std::printf("| %s | %.1f | %.1f | %.2f | %.1f | %.1f %% | %d |\n", row.what.c_str(), row.limitMs, wall,
                wall / row.limitMs, cpu, 100.0 * cpu / wall, row.failures);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--cli") options.cli = argv[i + 1];
        if (name == "--runs") options.runs = std::atoi(argv[i + 1]);
        if (name == "--block-write-ms") options.blockWriteMs = std::atoi(argv[i + 1]);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    char folder[] = "/tmp/tarv-cli-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string port = std::string(folder) + "/ttyADAPTER";
    // The images that `program` keeps go to the bench's own folder, never to a real data folder.
    setenv("TARV_DATA_DIR", (std::string(folder) + "/data").c_str(), 1);
    int failed = 0;
    {
        sim::SimProcess server(TARV_ADAPTER_SIM, {"--pace", "--block-write-ms", std::to_string(options.blockWriteMs),
                                                 "--log", "/dev/null", "--link", port});
        if (server.slavePath().empty()) return 1;

        // Presence 4 + 1; a whole read 4 x (4 + 32); sixteen blocks of 12 + 1, each with the EEPROM's time.
        const double presence = 5 * kByteMs;
        const double wholeRead = 144 * kByteMs;
        const double blocks = 16 * (13 * kByteMs + options.blockWriteMs);
        Row info{"info", presence + wholeRead, {}, {}};
        Row program{"program (read, image kept, 16 blocks, read-back)", presence + 2 * wholeRead + blocks, {}, {}};
        Row unkept{"program --no-backup", presence + 2 * wholeRead + blocks, {}, {}};
        const char* resolutions[] = {"D50", "12B"};  // every run writes something new
        for (int run = -1; run < options.runs; ++run) {
            const ChildRun i = RunChild(options.cli, {"info", "--port", port});
            const ChildRun p = RunChild(options.cli, {"program", "--port", port, "--resolution",
                                                      resolutions[(run + 2) % 2]});
            const ChildRun n = RunChild(options.cli, {"program", "--no-backup", "--port", port, "--resolution",
                                                      resolutions[(run + 3) % 2]});
            if (run < 0) continue;  // warm-up
            info.wall.push_back(i.wallMs);
            info.cpu.push_back(i.cpuMs);
            info.failures += i.exitCode != 0;
            program.wall.push_back(p.wallMs);
            program.cpu.push_back(p.cpuMs);
            program.failures += p.exitCode != 0;
            unkept.wall.push_back(n.wallMs);
            unkept.cpu.push_back(n.cpuMs);
            unkept.failures += n.exitCode != 0;
        }
        std::printf("tarv-cli-bench: %s, %d runs, EEPROM block write %d ms, wire 19200 baud 8N2\n\n",
                    options.cli.c_str(), options.runs, options.blockWriteMs);
        std::printf("| Command | Limit (ms) | Median (ms) | Ratio | CPU (ms) | CPU / wall | Failed |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
        Print(info);
        Print(program);
        Print(unkept);
        failed = info.failures + program.failures + unkept.failures;
    }
    std::filesystem::remove_all(folder);
    return failed == 0 ? 0 : 1;
}
