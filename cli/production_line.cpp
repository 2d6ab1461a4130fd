// program --each and verify --each: the production line, on one port or on several at once. Each
// port runs its own loop on a thread of its own, with its own host, serial channel, wire observer
// and write witness; what they share is the output (a line at a time), the trace, the image store
// (whose files are written under locks and names that no two writers share) and the line's end.
#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include "cli/cli_commands.h"
#include "cli/joined.h"
#include "cli/line_sink.h"
#include "cli/port_connection.h"
#include "cli/production_loop.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

// The exit code of a whole line: a stop signal's, a lost record's, else the first failure's in the
// ports' order.
int LineExitCode(const std::vector<PortTally>& tallies, const RunContext& context)
{
    if (const int signal = context.stopSignal()) return ExitCodeOfSignal(signal);
    for (const PortTally& tally : tallies)
        if (tally.exitCode == AsInt(ExitCode::RecordNotWritten)) return tally.exitCode;
    for (const PortTally& tally : tallies)
        if (tally.exitCode != 0) return tally.exitCode;
    return 0;
}

// The named ports, each one that exists and may be opened (one in use is waited for); else why
// not, told on `err`, before anything is sent.
bool NamedPortsUsable(const std::vector<std::string>& ports, RunContext& context)
{
    for (const std::string& port : ports) {
        const std::unique_ptr<platform::Host> host = context.hostFor(port);
        const platform::OpenedPort opened = host->OpenSerial(SplitPortArgument(port).name);
        if (opened.port || opened.failure == platform::PortOpenFailure::InUse) continue;
        context.err << "tarv-cli: " << port << ": " << OpenFailureText(opened.failure, opened.denied) << "\n";
        return false;
    }
    return true;
}

// Two names of one device (a link and its target) would run two loops on one adapter, which may
// then write one encoder twice. The first such pair, as a refusal; empty when every port is a
// device of its own.
std::string DeviceNamedTwice(const std::vector<std::string>& ports, RunContext& context)
{
    std::map<std::string, std::string> portOfDevice;
    for (const std::string& port : ports) {
        const std::string device = context.hostFor(port)->PortDevice(SplitPortArgument(port).name);
        if (device.empty()) continue;  // a port that does not exist is told below
        const auto [named, first] = portOfDevice.emplace(device, port);
        if (!first) return "--port " + named->second + " and --port " + port + " name the same device";
    }
    return {};
}

// "ttyUSB1 (in use by another program); ttyS0, ttyS1 (no adapter answers)": the listed ports on
// which no adapter answers, grouped by why, in the list's order; empty when there are none.
std::string PortsLeftOut(const std::vector<PortStatus>& probed)
{
    std::vector<std::pair<std::string, std::vector<std::string>>> byReason;
    for (const PortStatus& port : probed) {
        if (port.status == "adapter") continue;
        const std::string why = port.reason.empty() ? "no adapter answers" : port.reason;
        auto group = std::find_if(byReason.begin(), byReason.end(), [&why](const auto& g) { return g.first == why; });
        if (group == byReason.end()) group = byReason.insert(byReason.end(), {why, {}});
        group->second.push_back(port.port);
    }
    std::vector<std::string> groups;
    for (const auto& [why, ports] : byReason) groups.push_back(Joined(ports) + " (" + why + ")");
    return Joined(groups, "; ");
}

// Every listed port on which an adapter answers now, in the list's order. The others are told, so
// that a fixture held by another program is not left out without a word (with -q only when none
// answers, and the line does not run).
std::vector<std::string> AnsweringPorts(const CliOptions& options, RunContext& context)
{
    const std::vector<PortStatus> probed = ProbePorts({});
    std::vector<std::string> ports;
    for (const PortStatus& port : probed)
        if (port.status == "adapter") ports.push_back(port.port);
    TellListingFailure(context.err);
    const std::string leftOut = PortsLeftOut(probed);
    if (!leftOut.empty() && (!options.quiet || ports.empty()))
        context.err << "tarv-cli: left out of the line: " << leftOut << "\n";
    return ports;
}

struct Line {
    const CliOptions& options;
    RunContext& context;
    const StepFor& stepFor;
    LineShare share;
    std::mutex outputLock;
};

PortTally RunOnePort(Line& line, const std::string& port)
{
    const std::unique_ptr<platform::Host> host = line.context.hostFor(port);
    const platform::ScopedHost installed(*host);
    if (line.context.trace != nullptr) line.context.trace->ObserveHere(port);
    LineSink outLines(line.context.out, line.outputLock, "");
    LineSink errLines(line.context.err, line.outputLock, port + ": ");
    std::ostream out(&outLines);
    std::ostream err(&errLines);
    RunContext context{out, err};
    context.unixSecondsNow = line.context.unixSecondsNow;
    context.stopSignal = line.context.stopSignal;
    context.tool = line.context.tool;
    context.dataFolder = line.context.dataFolder;
    context.trace = line.context.trace;
    context.log = line.context.log;
    context.mayBegin = [&line] { return !line.share.ended; };
    CliOptions options = line.options;
    options.port = port;
    options.ports = {port};
    options.allPorts = false;
    options.onePortOfMany = true;
    PortTally tally = RunPortLoop(options, context, line.stepFor(options, context), line.share, true);
    out.flush();
    err.flush();
    return tally;
}

int RunGang(const CliOptions& options, RunContext& context, const StepFor& stepFor)
{
    std::vector<std::string> ports = options.ports;
    if (options.allPorts) {
        ports = AnsweringPorts(options, context);
        if (ports.empty()) {
            context.err << "tarv-cli: no adapter answers on any port\n";
            return AsInt(ExitCode::NoAdapter);
        }
    } else if (const std::string twice = DeviceNamedTwice(ports, context); !twice.empty()) {
        context.err << "tarv-cli: " << twice << "\n";
        return AsInt(ExitCode::BadArguments);
    } else if (!NamedPortsUsable(ports, context)) {
        return AsInt(ExitCode::NoAdapter);
    }
    Line line{options, context, stepFor, LineShare(options.count), {}};
    std::vector<PortTally> tallies(ports.size());
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < ports.size(); ++i)
            threads.emplace_back([&line, &tallies, &ports, i] { tallies[i] = RunOnePort(line, ports[i]); });
    }
    if (!options.quiet) {
        PortTally total;
        for (size_t i = 0; i < ports.size(); ++i) {
            context.err << "tarv-cli: " << ports[i] << ": " << TallyText(tallies[i]) << "\n";
            for (const auto& [code, count] : tallies[i].results) total.results[code] += count;
            total.recordLost = total.recordLost || tallies[i].recordLost;
        }
        context.err << "tarv-cli: all ports: " << TallyText(total) << "\n" << std::flush;
    }
    return LineExitCode(tallies, context);
}

}  // namespace

int RunProductionLine(const CliOptions& options, RunContext& context, const StepFor& stepFor)
{
    if (options.Gang()) return RunGang(options, context, stepFor);
    LineShare share(options.count);
    RunContext portContext = context;
    portContext.mayBegin = [&share] { return !share.ended; };
    const PortTally tally = RunPortLoop(options, portContext, stepFor(options, portContext), share, false);
    if (!tally.started) return tally.exitCode;
    if (!options.quiet) context.err << "tarv-cli: " << TallyText(tally) << "\n" << std::flush;
    return LineExitCode({tally}, context);
}

int RunProductionLoop(const CliOptions& options, RunContext& context, const EncoderStep& step)
{
    return RunProductionLine(options, context, [&step](const CliOptions&, RunContext&) { return step; });
}

}  // namespace cli
