// tarv-adapter-sim: an emulated programming adapter on a pseudo-terminal, for end-to-end tests
// of the real serial code and for benchmarks. Prints the slave's path as its first line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/pty_server.h"
#include "sim/sim_commands.h"
#include "sim/sim_options.h"

namespace {

int stopPipe[2] = {-1, -1};

void RequestStop(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(stopPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the serve loop through a self-pipe, so the exit runs its cleanup.
bool InstallStopSignals()
{
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed log pipe must not kill the server
    return true;
}

// Replaces an existing symlink at `path`, never another kind of file.
bool MakeLink(const std::string& path, const std::string& target)
{
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "tarv-adapter-sim: %s exists and is not a symlink\n", path.c_str());
            return false;
        }
        unlink(path.c_str());
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "tarv-adapter-sim: symlink %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it is still ours; another server may have taken the name over.
void RemoveLink(const std::string& path, const std::string& target)
{
    std::vector<char> buffer(target.size() + 2);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length >= 0 && std::string(buffer.data(), static_cast<size_t>(length)) == target) unlink(path.c_str());
}

void LogFrame(std::FILE* log, const sim::LoggedFrame& frame, const std::string& lineSettings)
{
    std::string hex;
    for (const uint8_t byte : frame.bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X ", byte);
        hex += text;
    }
    if (!hex.empty()) hex.pop_back();
    std::fprintf(log, "%10.3f %-12s %-35s | %s\n", static_cast<double>(frame.at) / 1000.0,
                 sim::RequestKindName(frame.kind), hex.c_str(), lineSettings.c_str());
    std::fflush(log);
}

int Run(const sim::SimOptions& options)
{
    std::FILE* log = stderr;
    if (!options.logPath.empty() && (log = std::fopen(options.logPath.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "tarv-adapter-sim: %s: %s\n", options.logPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::string error;
    const auto server = sim::PtyServer::Create(error);
    if (!server || !InstallStopSignals()) {
        std::fprintf(stderr, "tarv-adapter-sim: %s\n", server ? "cannot make the stop pipe" : error.c_str());
        return 1;
    }
    const std::string& slave = server->SlavePath();
    if (!options.linkPath.empty() && !MakeLink(options.linkPath, slave)) return 1;
    // The path goes out only once the link exists, so a reader of this line can use either.
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);

    sim::AdapterEmulator adapter(sim::ImageOf(options), options.adapter);
    adapter.OnFrame([&](const sim::LoggedFrame& frame) { LogFrame(log, frame, server->LineSettings()); });
    sim::PtyServer::StdinUse stdinUse;
    stdinUse.read = options.readCommands;
    stdinUse.stopAtEof = options.exitOnStdinEof;
    stdinUse.onLine = [&adapter](const std::string& line) {
        if (const std::string error = sim::ApplySimCommand(line, adapter); !error.empty())
            std::fprintf(stderr, "tarv-adapter-sim: %s\n", error.c_str());
    };
    server->Serve(adapter, stopPipe[0], stdinUse);

    if (!options.linkPath.empty()) RemoveLink(options.linkPath, slave);
    if (log != stderr) std::fclose(log);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const sim::ParsedArguments parsed = sim::ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tarv-adapter-sim: %s\nTry 'tarv-adapter-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(sim::SimUsage().c_str(), stdout);
        return 0;
    }
    return Run(parsed.options);
}
