// The serial port on POSIX: a tty device opened exclusively, in raw mode at 19200 baud 8N2 with
// no flow control, used synchronously for writes and without waiting for reads. Once the adapter
// answered on it, it asks the driver for low latency, and gives the flag back when it closes.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <vector>

#include "platform/system_host.h"

namespace platform {
namespace {

// The line as a terminal had it before it was opened: its settings and its DTR and RTS lines.
struct LineState {
    termios settings{};
    int modemLines = 0;
    bool modemLinesKnown = false;
};

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort(int fd, const LineState& before, DriverLowLatency& lowLatency)
        : fd_(fd), before_(before), lowLatency_(lowLatency)
    {
    }
    ~PosixSerialPort() override
    {
        if (!adapter_) GiveBack();
        if (lowLatencyTurnedOn_) lowLatency_.Set(fd_, false);
        ioctl(fd_, TIOCNXCL);
        close(fd_);  // the flock goes with the descriptor
    }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    void DiscardReceived() override { tcflush(fd_, TCIFLUSH); }

    std::optional<uint32_t> BytesWaiting() override
    {
        int count = 0;
        if (ioctl(fd_, FIONREAD, &count) != 0 || count < 0) return std::nullopt;
        return static_cast<uint32_t>(count);
    }

    void Write(std::span<const uint8_t> bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t written = write(fd_, bytes.data(), bytes.size());
            if (written < 0 && errno == EAGAIN) {
                pollfd writable{fd_, POLLOUT, 0};
                poll(&writable, 1, -1);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return;  // the link sees a lost write as a missing answer
            bytes = bytes.subspan(static_cast<size_t>(written));
        }
    }

    size_t Read(std::span<uint8_t> into) override
    {
        // The descriptor blocks (for synchronous writes), so make sure a read cannot wait even if
        // the line settings were refused and the tty is still in canonical mode.
        pollfd ready{fd_, POLLIN, 0};
        if (into.empty() || poll(&ready, 1, 0) != 1 || (ready.revents & POLLIN) == 0) return 0;
        ssize_t got = 0;
        do {
            got = read(fd_, into.data(), into.size());
        } while (got < 0 && errno == EINTR);
        return got > 0 ? static_cast<size_t>(got) : 0;
    }

    void AdapterAnswered() override
    {
        adapter_ = true;
        // The watch's ping says so twice a second: the driver is asked once.
        if (lowLatencyAsked_) return;
        lowLatencyAsked_ = true;
        AskForLowLatency();
    }

    void AwaitReceive(uint32_t maxMs) override
    {
        // A byte that came since the caller's count makes poll return at once: the caller sees it.
        pollfd ready{fd_, POLLIN, 0};
        const int result = poll(&ready, 1, static_cast<int>(maxMs));
        // A line that hung up is always "ready" with nothing to read: wait out the time instead.
        if (result == 1 && (ready.revents & POLLIN) == 0) SleepMs(maxMs);
    }

private:
    // A USB serial converter otherwise holds each answer for its latency timer (16 ms on many),
    // which every block of a programming write pays. A driver without the flag (a
    // pseudo-terminal) or one that refuses it changes nothing.
    void AskForLowLatency()
    {
        const std::optional<bool> on = lowLatency_.Get(fd_);
        lowLatencyTurnedOn_ = on.has_value() && !*on && lowLatency_.Set(fd_, true);
    }

    void GiveBack()
    {
        tcsetattr(fd_, TCSANOW, &before_.settings);
        if (!before_.modemLinesKnown) return;
        int raised = before_.modemLines & (TIOCM_DTR | TIOCM_RTS);
        int lowered = ~before_.modemLines & (TIOCM_DTR | TIOCM_RTS);
        if (raised != 0) ioctl(fd_, TIOCMBIS, &raised);
        if (lowered != 0) ioctl(fd_, TIOCMBIC, &lowered);
    }

    static void SleepMs(uint32_t ms)
    {
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    int fd_;
    LineState before_;
    DriverLowLatency& lowLatency_;
    bool adapter_ = false;
    bool lowLatencyAsked_ = false;
    bool lowLatencyTurnedOn_ = false;  // and so turned off again at the close
};

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Raw 19200 8N2, no flow control of any kind, reads that return at once, from the settings the
// terminal has. Failures of the settings are ignored on purpose: a device that refuses one stays
// open, and the adapter's answer decides.
void ConfigureLine(int fd, termios tio)
{
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
}

PortOpenFailure FailureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return PortOpenFailure::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return PortOpenFailure::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return PortOpenFailure::InUse;
    case EISDIR:
    case ENOTTY:
        return PortOpenFailure::NotSerial;
    default:
        return PortOpenFailure::Other;
    }
}

bool IsCharacterDevice(const struct stat& status)
{
    return S_ISCHR(status.st_mode);
}

OpenedPort Refused(int fd, PortOpenFailure failure)
{
    if (fd >= 0) close(fd);
    return {nullptr, failure};
}

// The name of group `gid`, or its number when it has none.
std::string GroupName(gid_t gid)
{
    const long suggested = sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    group entry {};
    group* found = nullptr;
    while (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) buffer.resize(buffer.size() * 2);
    return found != nullptr ? found->gr_name : std::to_string(gid);
}

// A device that the user may not open: who may, so that the message can say which group to join.
OpenedPort Denied(const struct stat& status)
{
    return {nullptr, PortOpenFailure::PermissionDenied,
            DeviceAccess{GroupName(status.st_gid), static_cast<uint32_t>(status.st_mode & 07777)}};
}

// Whether another program put the terminal in exclusive mode (TIOCEXCL, which does not stop a
// privileged process from opening it): Linux 3.8 and later tell.
bool HeldExclusively(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    static_cast<void>(fd);
    return false;
#endif
}

}  // namespace

OpenedPort SystemHost::OpenSerial(const std::string& name)
{
    if (!IsPlainName(name)) return {nullptr, PortOpenFailure::NotFound};
    const std::string path = paths_.devDir + "/" + name;
    // Files, folders, FIFOs and disks are not even opened.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {nullptr, FailureOf(errno)};
    if (!IsCharacterDevice(status)) return {nullptr, PortOpenFailure::NotSerial};
    // Non-blocking so that the open does not wait for a carrier; reset below.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) return Denied(status);
    if (fd < 0) return {nullptr, errno == ENXIO || errno == ENODEV ? PortOpenFailure::NoDevice : FailureOf(errno)};
    // What was opened is what counts (the name may have changed since): a terminal, or nothing
    // at all is done with it. These only read.
    termios tio{};
    if (fstat(fd, &status) != 0 || !IsCharacterDevice(status) || !isatty(fd) || tcgetattr(fd, &tio) != 0)
        return Refused(fd, PortOpenFailure::NotSerial);
    // A port that another program holds, exclusively or by its lock, is left exactly as it is: the
    // close of a descriptor that others still hold changes nothing of the line. Its exclusive mode
    // is asked of a terminal only, whose driver knows the request.
    if (HeldExclusively(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) return Refused(fd, PortOpenFailure::InUse);
    ioctl(fd, TIOCEXCL);
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    LineState before;
    before.settings = tio;
    before.modemLinesKnown = ioctl(fd, TIOCMGET, &before.modemLines) == 0;
    ConfigureLine(fd, tio);
    return {std::make_unique<PosixSerialPort>(fd, before, *lowLatency_), PortOpenFailure::None};
}

}  // namespace platform
