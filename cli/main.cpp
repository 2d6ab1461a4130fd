// tarv-cli: the configurator's commands for scripts and production lines.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/cli_commands.h"
#include "cli/console_host.h"
#include "cli/port_connection.h"
#include "cli/stop_signals.h"
#include "commands/image_store.h"
#include "commands/wire_trace.h"
#include "link/Procedure_Tarv_Config.h"
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "platform/win32_api.h"
#include <timeapi.h>
#endif

using namespace commands;

namespace {

#ifdef _WIN32
// The texts carry the micro sign in UTF-8; the console shows them right in code page 65001. The
// user's code page comes back at exit.
class Utf8Console {
public:
    Utf8Console() : previous_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
    ~Utf8Console()
    {
        if (previous_ != 0) SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT previous_;
};

// Answers are awaited in 1 ms sleeps rather than spun for; the system's default 15.6 ms ticks
// would make every sleep that long.
class MillisecondTimer {
public:
    MillisecondTimer() : set_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~MillisecondTimer()
    {
        if (set_) timeEndPeriod(1);
    }
    MillisecondTimer(const MillisecondTimer&) = delete;
    MillisecondTimer& operator=(const MillisecondTimer&) = delete;

private:
    bool set_;
};
#endif

cli::ConsoleHost MakeHost([[maybe_unused]] const std::string& port)
{
#ifdef _WIN32
    return cli::ConsoleHost();
#else
    // A --port given as a path opens below its own folder.
    platform::PosixPaths paths;
    if (const cli::PortAddress address = cli::SplitPortArgument(port); !address.folder.empty())
        paths.devDir = address.folder;
    return cli::ConsoleHost(paths);
#endif
}

// The commands that a stop signal lets finish the encoder in hand: those that write to it, and
// the line's check, which ends with its summary.
bool FinishesTheEncoderOnStop(const cli::CliOptions& options)
{
    using cli::Subcommand;
    const bool writes = (options.command == Subcommand::Program || options.command == Subcommand::Restore) &&
                        !options.dryRun;
    return writes || (options.command == Subcommand::Verify && options.each);
}

// Whether everything written to standard output and error reached them, through the streams
// and through stdio beneath them.
bool StandardStreamsWritten()
{
    std::cout.flush();
    std::cerr.flush();
    return !std::cout.fail() && !std::cerr.fail() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0 &&
           std::ferror(stderr) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    // A reader that goes away (head, a tee stopped by Ctrl+C) must not end the program between two
    // blocks: its writes fail instead, and the encoder in hand is finished and recorded first.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const cli::ParsedCommandLine parsed =
        cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), TARV_VERSION_STRING);
    if (!parsed.options) {
        (parsed.exitCode == 0 ? std::cout : std::cerr) << parsed.text << (parsed.exitCode == 0 ? "" : "\n");
        return parsed.exitCode;
    }
    const cli::CliOptions& options = *parsed.options;
#ifdef _WIN32
    const Utf8Console console;
    const MillisecondTimer timer;
#endif
#ifdef _WIN32
    // The backup's bytes go out as they are, without CRLF translation.
    if (options.command == cli::Subcommand::Backup && options.backupFile == "-") _setmode(_fileno(stdout), _O_BINARY);
#endif
    cli::ConsoleHost host = MakeHost(options.port);
    platform::Install(host);
    // On several ports, each port with an encoder in hand tells the stop on its own line.
    if (FinishesTheEncoderOnStop(options)) cli::InstallStopSignals(options.quiet || options.Gang());

    cli::RunContext context{std::cout, std::cerr};
    context.stopSignal = cli::StopSignal;
    context.tool = std::string("tarv-cli ") + TARV_VERSION_STRING;
    context.dataFolder = store::DataFolder();
    context.hostFor = [](const std::string& port) { return std::make_unique<cli::ConsoleHost>(MakeHost(port)); };
    std::unique_ptr<WireTrace> trace;
    if (!options.tracePath.empty()) {
        std::string error;
        trace = WireTrace::Start(options.tracePath, context.tool, context.unixSecondsNow(), error,
                                 [](const std::string& reason) {
                                     std::cerr << "tarv-cli: --trace: " << reason << "; the trace has a gap from here\n";
                                 });
        if (!trace) {
            std::cerr << "tarv-cli: --trace: " << error << "\n";
            return cli::AsInt(cli::ExitCode::BadArguments);
        }
    }
    // A port named on the command line is traced by that name, not only its last path component.
    if (trace && !options.port.empty()) trace->ObserveHere(options.port);
    context.trace = trace.get();
    const int code = cli::RunCommand(options, context);
    ClosePort();
    if (code != 0 || StandardStreamsWritten()) return code;
    std::cerr << "tarv-cli: the output cannot be written\n";
    return cli::AsInt(cli::ExitCode::RecordNotWritten);
}
