#include "sim/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <utility>

extern char** environ;

namespace sim {
using namespace std::chrono_literals;

std::string ReadLine(int fd, std::chrono::milliseconds limit)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (char c = 0; std::chrono::steady_clock::now() < deadline;) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, 50) != 1) continue;
        if (read(fd, &c, 1) != 1 || c == '\n') return c == '\n' ? line : "";
        line += c;
    }
    return "";
}

pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args, int stdinFd, int stdoutFd,
                   int stderrFd)
{
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [from, to] : {std::pair{stdinFd, STDIN_FILENO}, std::pair{stdoutFd, STDOUT_FILENO},
                                   std::pair{stderrFd, STDERR_FILENO}}) {
        if (from == kNullStream)
            posix_spawn_file_actions_addopen(&actions, to, "/dev/null", O_RDWR, 0);
        else if (from != kInheritStream)
            posix_spawn_file_actions_adddup2(&actions, from, to);
    }
    // As from a shell: a signal that this process ignores (SIGPIPE, say) has its default action in
    // the child, whose own handling is what the tests look at.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, &attributes, pointers.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Reap(pid_t pid, std::chrono::milliseconds limit)
{
    int status = 0;
    for (auto waited = 0ms; waited < limit; waited += 5ms) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(5ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

SimProcess::SimProcess(const std::string& program, std::vector<std::string> args)
{
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    args.push_back("--exit-on-stdin-eof");
    pid_ = SpawnProcess(program, args, in[0], out[1]);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    if (pid_ > 0) slavePath_ = ReadLine(out[0], 5s);
    close(out[0]);
}

bool SimProcess::SendCommand(const std::string& line)
{
    const std::string text = line + "\n";
    return stdin_ >= 0 && write(stdin_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int SimProcess::Terminate()
{
    if (pid_ > 0) kill(pid_, SIGTERM);
    return Wait();
}

int SimProcess::CloseStdinAndWait()
{
    CloseStdin();
    return Wait();
}

void SimProcess::CloseStdin()
{
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
}

int SimProcess::Wait()
{
    CloseStdin();
    const int code = pid_ > 0 ? Reap(pid_, 2s) : -1;
    pid_ = -1;
    return code;
}

}  // namespace sim
