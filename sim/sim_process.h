// tarv-adapter-sim as a child process, for the end-to-end tests and the benchmarks: started with
// its stdin on a pipe that this process holds (with --exit-on-stdin-eof), so that even a parent
// that dies without cleaning up leaves no server behind. POSIX only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace sim {

// What a child's standard stream is, when it is not one of this process's descriptors.
inline constexpr int kNullStream = -1;     // /dev/null
inline constexpr int kInheritStream = -2;  // this process's own

// Starts `program` with `args`, its standard streams on the given descriptors (or kNullStream,
// kInheritStream). The process id, or -1 when it could not be started.
pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args, int stdinFd, int stdoutFd,
                   int stderrFd = kInheritStream);

// One line from `fd`, without its line end; empty when none came within `limit`.
std::string ReadLine(int fd, std::chrono::milliseconds limit);

// The exit code of a child that ends within `limit`; -1 for one that had to be killed or that
// ended by a signal.
int Reap(pid_t pid, std::chrono::milliseconds limit);

class SimProcess {
public:
    SimProcess(const std::string& program, std::vector<std::string> args);
    ~SimProcess() { Terminate(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pty slave that the server printed first; empty when the server did not start.
    const std::string& slavePath() const { return slavePath_; }

    // One command line to the server's standard input (sim_commands.h); false when it could not go.
    bool SendCommand(const std::string& line);

    int Terminate();          // SIGTERM, then the exit code as Reap gives it
    int CloseStdinAndWait();  // the server's own way out: its stdin ends

private:
    void CloseStdin();
    int Wait();

    pid_t pid_ = -1;
    int stdin_ = -1;
    std::string slavePath_;
};

}  // namespace sim
