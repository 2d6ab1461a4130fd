// tarv-cli as a child process for the end-to-end tests: its standard output and error go to
// files that the test reads while it runs. POSIX only.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_process.h"
#include "support/text_files.h"

class CliProcess {
public:
    // Starts `program` with `args`; its output goes to `folder`/cli.out and cli.err.
    CliProcess(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& folder)
        : outPath_(folder / "cli.out"), errPath_(folder / "cli.err")
    {
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out >= 0 && err >= 0) pid_ = sim::SpawnProcess(program, args, sim::kNullStream, out, err);
        if (out >= 0) close(out);
        if (err >= 0) close(err);
    }
    ~CliProcess()
    {
        if (pid_ > 0) sim::Reap(pid_, std::chrono::milliseconds(0));  // kills one that is still running
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // The exit code of a program that ends within `limit`; -1 for one that had to be killed.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        const int code = pid_ > 0 ? sim::Reap(pid_, limit) : ended_;
        pid_ = -1;
        return code;
    }

    // True until the program has ended; Wait then gives its exit code.
    bool Running()
    {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return pid_ > 0;
        ended_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }

    void Signal(int signal) const
    {
        if (pid_ > 0) kill(pid_, signal);
    }

    std::string Out() const { return FileText(outPath_); }
    std::string Err() const { return FileText(errPath_); }

    // The lines of standard output, once there are at least `count` (or the time is up).
    std::vector<std::string> WaitForLines(size_t count,
                                          std::chrono::milliseconds limit = std::chrono::seconds(10)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::vector<std::string> lines = Lines(Out());
        while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lines = Lines(Out());
        }
        return lines;
    }

private:
    std::filesystem::path outPath_;
    std::filesystem::path errPath_;
    pid_t pid_ = -1;
    int ended_ = -1;  // the exit code of a program that Running saw end
};
