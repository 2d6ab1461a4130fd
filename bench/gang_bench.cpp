// tarv-gang-bench: one tarv-cli process running the production loop on K ports at once
// (`program --each` with -p given K times), each port a paced tarv-adapter-sim that gets a new
// encoder as soon as tarv-cli prints the line of the last one on it. It measures encoders per
// second against K times the one-port rate, tarv-cli's processor time per port, and how often
// tarv-cli lost an adapter; then the same with one port whose encoders all refuse a block.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kProduct = "KV24";
constexpr const char* kRefusedBlock = "0x40";
constexpr const char* kLostAdapter = "the adapter does not answer";

struct Options {
    std::string cli = TARV_CLI;
    std::string sim = TARV_ADAPTER_SIM;
    std::vector<int> portCounts = {1, 2, 4, 8};
    double warmUpS = 5;
    double spanS = 20;
    int blockWriteMs = 5;
    std::string resolution = "D50";
    bool kept = true;       // a run with the image store in a temporary data folder
    bool noBackup = false;  // a run with --no-backup
};

// What one run is: how many ports, whether one of them refuses a block, how the store is used.
struct Setup {
    int ports = 1;
    bool oneRefusing = false;  // port 1 refuses block 0x40 of every encoder
    bool noBackup = false;

    std::string StoreText() const { return noBackup ? "--no-backup" : "image kept"; }
};

// One emulated adapter and what tarv-cli said about its port.
struct Station {
    std::unique_ptr<sim::SimProcess> server;
    std::string path;
    bool refusing = false;
    int fed = 0;                    // encoders put on so far
    std::vector<double> lineTimes;  // when each encoder of the span was done, s after the warm-up
    int notOkInSpan = 0;            // lines of the span with a result other than ok
    int lostAdapter = 0;            // "the adapter does not answer" on this port, whole run
};

struct RunResult {
    Setup setup;
    bool measured = false;  // tarv-cli ran through the span
    std::string whyNot;     // otherwise: what happened
    std::vector<Station> stations;
    double spanS = 0;
    double cpuSpanMs = 0;       // tarv-cli's user + system time within the span
    double cpuWholeMs = 0;      // over its whole life (wait4)
    double wallWholeMs = 0;     // its whole life, spawn to exit
    int unattributedLines = 0;  // stdout lines that name none of the ports
    int unattributedLost = 0;   // lost-adapter lines that name none of the ports
    int exitCode = -1;
};

// ---- Options ----------------------------------------------------------------------------------

std::vector<int> ParseCounts(const std::string& text)
{
    std::vector<int> counts;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');)
        if (const int k = std::atoi(item.c_str()); k > 0) counts.push_back(k);
    return counts;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (name == "--cli")
            options.cli = value;
        else if (name == "--sim")
            options.sim = value;
        else if (name == "--ports")
            options.portCounts = ParseCounts(value);
        else if (name == "--warm-up")
            options.warmUpS = std::atof(value.c_str());
        else if (name == "--span")
            options.spanS = std::atof(value.c_str());
        else if (name == "--block-write-ms")
            options.blockWriteMs = std::atoi(value.c_str());
        else if (name == "--resolution")
            options.resolution = value;
        else if (name == "--store" && (value == "kept" || value == "no-backup" || value == "both")) {
            options.kept = value != "no-backup";
            options.noBackup = value != "kept";
        } else
            return false;
    }
    return !options.portCounts.empty() && options.spanS > 0 && options.warmUpS >= 0;
}

constexpr const char* kUsage =
    "usage: tarv-gang-bench [--ports 1,2,4,8] [--warm-up S] [--span S] [--block-write-ms MS]\n"
    "                       [--store kept|no-backup|both] [--resolution D50] [--cli PATH] [--sim PATH]\n";

// ---- The machine ------------------------------------------------------------------------------

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// User + system time of a running process so far, from /proc; nullopt when it cannot be read.
std::optional<double> ProcessCpuMs(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t nameEnd = stat.rfind(')');  // the command's name may hold spaces
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::vector<std::string> field{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
    if (field.size() < 13) return std::nullopt;  // utime and stime are the 12th and 13th after the name
    const double ticks = std::atof(field[11].c_str()) + std::atof(field[12].c_str());
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Ms(const timeval& t)
{
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
}

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// ---- tarv-cli as a child whose output is read line by line ------------------------------------

// The complete lines that arrive on a pipe, as they come.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) { fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK); }
    ~LineReader()
    {
        if (fd_ >= 0) close(fd_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    int fd() const { return fd_; }
    bool Open() const { return fd_ >= 0; }

    // What is waiting, as whole lines; at the end of the stream the pipe is closed.
    std::vector<std::string> Take()
    {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(fd_, buffer, sizeof buffer)) > 0) pending_.append(buffer, static_cast<size_t>(got));
        std::vector<std::string> lines;
        for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1))
            lines.push_back(pending_.substr(0, end));
        if (got == 0) {
            if (!pending_.empty()) lines.push_back(pending_);
            pending_.clear();
            close(fd_);
            fd_ = -1;
        }
        return lines;
    }

private:
    int fd_;
    std::string pending_;
};

struct Child {
    pid_t pid = -1;
    std::unique_ptr<LineReader> out;
    std::unique_ptr<LineReader> err;
    Clock::time_point started;
};

Child SpawnWithPipes(const std::string& program, const std::vector<std::string>& args)
{
    Child child;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return child;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return child;
    }
    child.started = Clock::now();
    child.pid = sim::SpawnProcess(program, args, sim::kNullStream, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    child.out = std::make_unique<LineReader>(out[0]);
    child.err = std::make_unique<LineReader>(err[0]);
    return child;
}

// ---- One run ----------------------------------------------------------------------------------

// Six characters: the port's letter and a running number, so that every encoder is new.
std::string SerialFor(int port, int number)
{
    char serial[8];
    std::snprintf(serial, sizeof serial, "%c%05d", 'A' + port % 26, number % 100000);
    return serial;
}

// The station whose port a line names as one of its words (a word may end in ':'): as given,
// or by its last part. A word, not a part of one: ttyGANG1 is not ttyGANG10.
Station* StationNamedIn(std::vector<Station>& stations, const std::string& text)
{
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word.back() == ':') word.pop_back();
        for (Station& station : stations)
            if (word == station.path || word == std::filesystem::path(station.path).filename().string())
                return &station;
    }
    return nullptr;
}

// An encoder's line: "<time> <port> <product> <serial> <result>[: ...]"; its port and result.
struct EncoderLine {
    std::string port;
    std::string result;
};

std::optional<EncoderLine> ParseEncoderLine(const std::string& line)
{
    std::istringstream words(line);
    std::string time, port, product, serial, result;
    if (!(words >> time >> port >> product >> serial >> result)) return std::nullopt;
    if (!result.empty() && (result.back() == ':' || result.back() == ';')) result.pop_back();
    return EncoderLine{port, result};
}

bool StartStations(const Options& options, const Setup& setup, const std::filesystem::path& folder,
                   std::vector<Station>& stations)
{
    for (int i = 0; i < setup.ports; ++i) {
        Station station;
        station.path = (folder / ("ttyGANG" + std::to_string(i))).string();
        station.refusing = setup.oneRefusing && i == 0;
        std::vector<std::string> args = {"--pace", "--block-write-ms", std::to_string(options.blockWriteMs)};
        args.insert(args.end(), {"--log", "/dev/null", "--link", station.path});
        args.insert(args.end(), {"--product", kProduct, "--serial", SerialFor(i, 0)});
        if (station.refusing) args.insert(args.end(), {"--refuse-block", kRefusedBlock});
        station.server = std::make_unique<sim::SimProcess>(options.sim, args);
        if (station.server->slavePath().empty()) return false;
        stations.push_back(std::move(station));
    }
    return true;
}

std::vector<std::string> CliArguments(const Options& options, const Setup& setup, const std::vector<Station>& stations)
{
    std::vector<std::string> args = {"program", "--each", "--resolution", options.resolution};
    for (const Station& station : stations) args.insert(args.end(), {"-p", station.path});
    if (setup.noBackup) args.push_back("--no-backup");
    return args;
}

// Watches tarv-cli's output while the run lasts: feeds each port a new encoder as soon as its
// line is out, and counts the lines of the span and the lost adapters.
class GangRun {
public:
    GangRun(const Options& options, RunResult& result, Child& child) : result_(result), child_(child)
    {
        warmEnd_ = child_.started +
                   std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.warmUpS));
        spanEnd_ = warmEnd_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.spanS));
    }

    // Until the span ends, or tarv-cli ends before it.
    void WatchSpan()
    {
        std::optional<double> cpuAtWarmEnd;
        while (child_.out->Open() || child_.err->Open()) {
            const Clock::time_point now = Clock::now();
            if (!cpuAtWarmEnd && now >= warmEnd_) cpuAtWarmEnd = ProcessCpuMs(child_.pid);
            if (now >= spanEnd_) {
                const std::optional<double> cpuAtSpanEnd = ProcessCpuMs(child_.pid);
                if (cpuAtWarmEnd && cpuAtSpanEnd) result_.cpuSpanMs = *cpuAtSpanEnd - *cpuAtWarmEnd;
                result_.measured = cpuAtWarmEnd.has_value() && cpuAtSpanEnd.has_value();
                result_.spanS = SecondsBetween(warmEnd_, now);
                return;
            }
            const Clock::time_point next = cpuAtWarmEnd ? spanEnd_ : warmEnd_;
            Pump(std::chrono::duration_cast<std::chrono::milliseconds>(next - now) + 1ms);
        }
    }

    // Asks tarv-cli to stop (it finishes the encoder in hand) and reads it out to its end.
    void Finish()
    {
        kill(child_.pid, SIGINT);
        const Clock::time_point giveUp = Clock::now() + 20s;
        while ((child_.out->Open() || child_.err->Open()) && Clock::now() < giveUp) Pump(100ms);
        if (child_.out->Open() || child_.err->Open()) kill(child_.pid, SIGKILL);
        int status = 0;
        rusage usage{};
        wait4(child_.pid, &status, 0, &usage);
        result_.wallWholeMs = SecondsBetween(child_.started, Clock::now()) * 1000.0;
        result_.cpuWholeMs = Ms(usage.ru_utime) + Ms(usage.ru_stime);
        result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    const std::vector<std::string>& stderrHead() const { return stderrHead_; }

private:
    void Pump(std::chrono::milliseconds limit)
    {
        pollfd fds[2] = {{child_.out->fd(), POLLIN, 0}, {child_.err->fd(), POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::clamp<std::chrono::milliseconds>(limit, 0ms, 100ms).count()));
        const Clock::time_point now = Clock::now();
        const std::optional<double> inSpan =
            now >= warmEnd_ && now < spanEnd_ ? std::optional(SecondsBetween(warmEnd_, now)) : std::nullopt;
        if (child_.out->Open())
            for (const std::string& line : child_.out->Take()) OnOutput(line, inSpan);
        if (child_.err->Open())
            for (const std::string& line : child_.err->Take()) OnError(line);
    }

    // `at`: when in the span the line came; none outside the span.
    void OnOutput(const std::string& line, std::optional<double> at)
    {
        const std::optional<EncoderLine> parsed = ParseEncoderLine(line);
        Station* station = parsed ? StationNamedIn(result_.stations, parsed->port) : nullptr;
        if (station == nullptr) {
            ++result_.unattributedLines;
            return;
        }
        // The encoder is done: the next one goes on at once, as an operator's hand would.
        station->server->SendCommand(std::string("encoder ") + kProduct + " " +
                                     SerialFor(static_cast<int>(station - result_.stations.data()), ++station->fed));
        if (!at) return;
        station->lineTimes.push_back(*at);
        if (parsed->result != "ok") ++station->notOkInSpan;
    }

    void OnError(const std::string& line)
    {
        if (stderrHead_.size() < 8) stderrHead_.push_back(line);
        if (line.find(kLostAdapter) == std::string::npos) return;
        if (Station* station = StationNamedIn(result_.stations, line))
            ++station->lostAdapter;
        else
            ++result_.unattributedLost;
    }

    RunResult& result_;
    Child& child_;
    Clock::time_point warmEnd_;
    Clock::time_point spanEnd_;
    std::vector<std::string> stderrHead_;
};

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : " / ") + line;
    return text;
}

RunResult RunGang(const Options& options, const Setup& setup)
{
    RunResult result;
    result.setup = setup;
    char folderName[] = "/tmp/tarv-gang-bench-XXXXXX";
    if (mkdtemp(folderName) == nullptr) {
        result.whyNot = "no scratch folder";
        return result;
    }
    const std::filesystem::path folder = folderName;
    // The images that tarv-cli keeps go to this run's own folder, never to a real data folder.
    setenv("TARV_DATA_DIR", (folder / "data").c_str(), 1);
    if (!StartStations(options, setup, folder, result.stations)) {
        result.whyNot = "tarv-adapter-sim did not start (" + options.sim + ")";
    } else {
        Child child = SpawnWithPipes(options.cli, CliArguments(options, setup, result.stations));
        if (child.pid < 0) {
            result.whyNot = "tarv-cli did not start (" + options.cli + ")";
        } else {
            GangRun run(options, result, child);
            run.WatchSpan();
            run.Finish();
            if (!result.measured)
                result.whyNot = "tarv-cli ended after " + Fixed(result.wallWholeMs / 1000.0, 2) + " s with exit code " +
                                std::to_string(result.exitCode) + ": " + Joined(run.stderrHead());
        }
    }
    for (Station& station : result.stations) station.server.reset();  // each ends with its stdin
    std::filesystem::remove_all(folder);
    return result;
}

// ---- Figures ----------------------------------------------------------------------------------

struct Rates {
    double total = 0;  // encoders a second on the ports counted
    double min = 0;
    double max = 0;
    int lines = 0;
    int notOk = 0;
    int ports = 0;
};

// Encoders a second on one port: from the first to the last encoder of the span, so that the
// count is not off by a fraction of an encoder at either end of it.
double RateOf(const Station& s, double spanS)
{
    const std::vector<double>& t = s.lineTimes;
    if (t.size() < 2 || t.back() <= t.front()) return static_cast<double>(t.size()) / spanS;
    return static_cast<double>(t.size() - 1) / (t.back() - t.front());
}

Rates RatesOf(const RunResult& r, bool refusing)
{
    Rates rates;
    for (const Station& s : r.stations) {
        if (s.refusing != refusing) continue;
        const double rate = RateOf(s, r.spanS);
        rates.min = rates.ports == 0 ? rate : std::min(rates.min, rate);
        rates.max = rates.ports == 0 ? rate : std::max(rates.max, rate);
        rates.total += rate;
        rates.lines += static_cast<int>(s.lineTimes.size());
        rates.notOk += s.notOkInSpan;
        ++rates.ports;
    }
    return rates;
}

int LostAdapters(const RunResult& r)
{
    int lost = r.unattributedLost;
    for (const Station& s : r.stations) lost += s.lostAdapter;
    return lost;
}

// Processor time as a share of one core for each port.
double CorePerPort(double cpuMs, double wallMs, int ports)
{
    return wallMs > 0 ? 100.0 * cpuMs / (wallMs * ports) : 0;
}

std::string Ratio(double rate, double reference)
{
    if (reference <= 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", rate / reference);
    return text;
}

// The one-port rate of the same store use, from the run with K = 1.
double OnePortRate(const std::vector<RunResult>& results, bool noBackup)
{
    for (const RunResult& r : results)
        if (r.measured && r.setup.ports == 1 && !r.setup.oneRefusing && r.setup.noBackup == noBackup)
            return RatesOf(r, false).total;
    return 0;
}

void PrintAllGood(const std::vector<RunResult>& results)
{
    std::printf("### Every port with good encoders\n\n");
    std::printf(
        "| Store | K | Encoders in span | Encoders/s | Per port (min-max) | vs K x one port | CPU / core / port "
        "(span) | (whole run) | Lost adapter | Not ok | Exit |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const RunResult& r : results) {
        if (!r.measured || r.setup.oneRefusing) continue;
        const Rates good = RatesOf(r, false);
        const double onePort = OnePortRate(results, r.setup.noBackup);
        std::printf("| %s | %d | %d | %.2f | %.2f-%.2f | %s | %.1f %% | %.1f %% | %d | %d | %d |\n",
                    r.setup.StoreText().c_str(), r.setup.ports, good.lines, good.total, good.min, good.max,
                    Ratio(good.total, onePort * r.setup.ports).c_str(),
                    CorePerPort(r.cpuSpanMs, r.spanS * 1000.0, r.setup.ports),
                    CorePerPort(r.cpuWholeMs, r.wallWholeMs, r.setup.ports), LostAdapters(r), good.notOk, r.exitCode);
    }
    std::printf("\n");
}

void PrintOneRefusing(const std::vector<RunResult>& results)
{
    bool any = false;
    for (const RunResult& r : results) any = any || (r.measured && r.setup.oneRefusing);
    if (!any) return;
    std::printf("### One port refusing block %s of every encoder\n\n", kRefusedBlock);
    std::printf(
        "| Store | K | Other ports: encoders/s | vs (K-1) x one port | Refusing port: lines/s | CPU / core / port "
        "(span) | Lost adapter | Not ok (others) | Exit |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const RunResult& r : results) {
        if (!r.measured || !r.setup.oneRefusing) continue;
        const Rates others = RatesOf(r, false);
        const Rates refusing = RatesOf(r, true);
        const double onePort = OnePortRate(results, r.setup.noBackup);
        std::printf("| %s | %d | %.2f | %s | %.2f | %.1f %% | %d | %d | %d |\n", r.setup.StoreText().c_str(),
                    r.setup.ports, others.total, Ratio(others.total, onePort * others.ports).c_str(), refusing.total,
                    CorePerPort(r.cpuSpanMs, r.spanS * 1000.0, r.setup.ports), LostAdapters(r), others.notOk,
                    r.exitCode);
    }
    std::printf("\n");
}

void PrintNotMeasured(const std::vector<RunResult>& results)
{
    bool any = false;
    for (const RunResult& r : results) {
        if (r.measured) continue;
        if (!any) std::printf("### Not measured\n\n");
        any = true;
        std::printf("- K = %d%s, %s: %s\n", r.setup.ports, r.setup.oneRefusing ? " (one refusing)" : "",
                    r.setup.StoreText().c_str(), r.whyNot.c_str());
    }
    if (any) std::printf("\n");
}

// Where the adapters were lost, and output that named no port.
void PrintDetails(const std::vector<RunResult>& results)
{
    for (const RunResult& r : results) {
        const std::string run = "K = " + std::to_string(r.setup.ports) +
                                (r.setup.oneRefusing ? " (one refusing)" : "") + ", " + r.setup.StoreText();
        if (LostAdapters(r) > 0) {
            std::printf("%s: lost adapter on", run.c_str());
            for (size_t i = 0; i < r.stations.size(); ++i)
                if (r.stations[i].lostAdapter > 0)
                    std::printf(" port %zu%s: %d,", i + 1, r.stations[i].refusing ? " (refusing)" : "",
                                r.stations[i].lostAdapter);
            std::printf(" no port named: %d\n", r.unattributedLost);
        }
        if (r.unattributedLines > 0)
            std::printf("%s: %d lines on standard output named none of the ports\n", run.c_str(), r.unattributedLines);
    }
}

std::vector<Setup> Setups(const Options& options)
{
    std::vector<Setup> setups;
    for (const bool noBackup : {false, true}) {
        if ((noBackup && !options.noBackup) || (!noBackup && !options.kept)) continue;
        for (const int k : options.portCounts) setups.push_back({k, false, noBackup});
        for (const int k : options.portCounts)
            if (k >= 2) setups.push_back({k, true, noBackup});
    }
    return setups;
}

// A run failed when it was measured and a good port's encoder did not end ok, or when it was not
// measured for another reason than tarv-cli refusing several ports at its start.
bool Failed(const RunResult& r)
{
    if (r.measured) return RatesOf(r, false).notOk > 0 || RatesOf(r, false).lines == 0;
    const bool refusedAtStart = r.setup.ports > 1 && r.exitCode == 1;
    return !refusedAtStart;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);  // a server that went away must not end the bench
    const std::string loadBefore = LoadAverage();
    std::vector<RunResult> results;
    for (const Setup& setup : Setups(options)) {
        std::fprintf(stderr, "tarv-gang-bench: K = %d%s, %s ...\n", setup.ports,
                     setup.oneRefusing ? " (one refusing)" : "", setup.StoreText().c_str());
        results.push_back(RunGang(options, setup));
    }

    std::printf(
        "tarv-gang-bench: %s program --each --resolution %s on K paced emulators "
        "(--pace --block-write-ms %d); warm-up %.0f s, span %.0f s\n",
        options.cli.c_str(), options.resolution.c_str(), options.blockWriteMs, options.warmUpS, options.spanS);
    std::printf("%u CPUs, load average before %s, after %s\n\n", std::thread::hardware_concurrency(),
                loadBefore.c_str(), LoadAverage().c_str());
    PrintAllGood(results);
    PrintOneRefusing(results);
    PrintNotMeasured(results);
    PrintDetails(results);
    return std::any_of(results.begin(), results.end(), Failed) ? 1 : 0;
}
