#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace sim {
namespace {

std::string SpeedText(speed_t speed)
{
    constexpr std::pair<speed_t, const char*> kSpeeds[] = {
        {B300, "300"},     {B1200, "1200"},   {B2400, "2400"},   {B4800, "4800"},     {B9600, "9600"},
        {B19200, "19200"}, {B38400, "38400"}, {B57600, "57600"}, {B115200, "115200"}, {B230400, "230400"}};
    for (const auto& [code, text] : kSpeeds)
        if (code == speed) return text;
    return "speed#" + std::to_string(speed);
}

// "19200 8N2", followed by any flow control that is switched on.
std::string DescribeLine(const termios& tio)
{
    const tcflag_t size = tio.c_cflag & CSIZE;
    const char dataBits = size == CS5 ? '5' : size == CS6 ? '6' : size == CS7 ? '7' : '8';
    const char parity = (tio.c_cflag & PARENB) == 0 ? 'N' : (tio.c_cflag & PARODD) != 0 ? 'O' : 'E';
    const char stopBits = (tio.c_cflag & CSTOPB) != 0 ? '2' : '1';
    std::string text = SpeedText(cfgetospeed(&tio)) + " " + dataBits + parity + stopBits;
    if ((tio.c_cflag & CRTSCTS) != 0) text += " rtscts";
    if ((tio.c_iflag & IXON) != 0) text += " ixon";
    if ((tio.c_iflag & IXOFF) != 0) text += " ixoff";
    return text;
}

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<PtyServer> PtyServer::Create(std::string& error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    const char* name = nullptr;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = ptsname(master)) == nullptr) {
        error = SystemError("pty setup");
        close(master);
        return nullptr;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Raw from the start, so nothing the adapter sends is echoed back before a client sets the line.
    termios tio{};
    if (tcgetattr(master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
    }
    // Holding the slave open ourselves keeps the pty alive between clients: the master would
    // otherwise report a hang-up (and reads fail with EIO) whenever no client has it open, and
    // the kernel could reset the line settings at a client's last close.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = SystemError("open slave");
        close(master);
        return nullptr;
    }
    return std::unique_ptr<PtyServer>(new PtyServer(master, slave, name));
}

PtyServer::PtyServer(int master, int slave, std::string slavePath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath))
{
}

PtyServer::~PtyServer()
{
    close(slave_);
    close(master_);
}

Micros PtyServer::Now() const
{
    return static_cast<Micros>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count());
}

std::string PtyServer::LineSettings() const
{
    termios tio{};
    // On the master, tcgetattr reads the slave's settings: those of the client.
    if (tcgetattr(master_, &tio) != 0) return "unknown";
    return DescribeLine(tio);
}

void PtyServer::Receive(AdapterEmulator& adapter)
{
    std::array<uint8_t, 4096> buffer{};
    const ssize_t got = read(master_, buffer.data(), buffer.size());
    if (got > 0) {
        adapter.HostWrote(std::span(buffer).first(static_cast<size_t>(got)), Now());
        adapter.ClearLog();  // frames are reported through OnFrame; keep a long run's memory flat
    } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
        usleep(10'000);  // not expected while the slave is held open; if it happens, do not spin
    }
}

void PtyServer::SendDue(AdapterEmulator& adapter)
{
    std::array<uint8_t, 256> due{};
    for (size_t taken; (taken = adapter.Take(due, Now())) > 0;)
        unsent_.insert(unsent_.end(), due.begin(), due.begin() + static_cast<std::ptrdiff_t>(taken));
    while (!unsent_.empty()) {
        const ssize_t written = write(master_, unsent_.data(), unsent_.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN) return;  // the slave's queue is full: wait for POLLOUT
        if (written < 0) {
            unsent_.clear();  // a broken line loses the answer
            return;
        }
        unsent_.erase(unsent_.begin(), unsent_.begin() + written);
    }
}

bool PtyServer::ReadStdin(const StdinUse& stdinUse)
{
    char chunk[256];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (got <= 0) return false;
    for (const char c : std::string_view(chunk, static_cast<size_t>(got))) {
        if (c != '\n') {
            stdinLine_ += c;
            continue;
        }
        if (stdinUse.onLine) stdinUse.onLine(stdinLine_);
        stdinLine_.clear();
    }
    return true;
}

void PtyServer::Serve(AdapterEmulator& adapter, int stopFd, const StdinUse& stdinUse)
{
    bool stdinOpen = stdinUse.read || stdinUse.stopAtEof;
    for (;;) {
        SendDue(adapter);
        std::array<pollfd, 3> fds = {{
            {master_, static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0},
            {stopFd, POLLIN, 0},
            {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
        }};
        // Sleep until the next answer byte is due, to the microsecond, so that paced bytes leave
        // one by one at their wire times.
        std::optional<timespec> timeout;
        if (const auto next = adapter.NextArrival()) {
            const Micros now = Now();
            const Micros wait = *next > now ? *next - now : 0;
            timeout = timespec{static_cast<time_t>(wait / 1'000'000), static_cast<long>(wait % 1'000'000) * 1000};
        }
        if (ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[2].revents != 0 && !ReadStdin(stdinUse)) {
            if (stdinUse.stopAtEof) return;
            stdinOpen = false;
        }
        if ((fds[0].revents & POLLIN) != 0) Receive(adapter);
    }
}

}  // namespace sim
