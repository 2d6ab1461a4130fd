// The services the configurator needs from the machine it runs on: one open serial port, the
// list of serial ports, a millisecond tick, the local date and the few UI services that the
// device link calls (message boxes, processing pending events). Everything above this seam is
// free of OS and toolkit calls, so the whole link can run against an emulated adapter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One open, configured serial port (19200 baud, 8 data bits, no parity, 2 stop bits, no flow
// control). Closing is destruction. Failures of these calls are deliberately not reported beyond
// what the signatures carry: the link notices them as missing or wrong answers.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    virtual void DiscardReceived() = 0;                      // receive side only
    virtual std::optional<uint32_t> BytesWaiting() = 0;      // nullopt when the query fails
    virtual void Write(std::span<const uint8_t> bytes) = 0;  // synchronous
    virtual size_t Read(std::span<uint8_t> into) = 0;        // only bytes already waiting; never blocks
    // Blocks until a byte is waiting (at once when one is), or at most `maxMs`. Only a host that
    // must not spin calls it (see Host::IdleBetweenPolls); a port that cannot wait returns at once.
    virtual void AwaitReceive(uint32_t maxMs) { static_cast<void>(maxMs); }
    // The adapter answered on this port: it keeps the line settings that the link gave it when it
    // closes. A port on which none answered may be some other terminal, and gets back the settings
    // it had when it was opened.
    virtual void AdapterAnswered() {}
};

// Why a port did not open. Only a terminal device is ever opened as a port: anything else (a
// file, a folder, a disk, a device that is not a tty) is refused before a byte could reach it.
enum class PortOpenFailure {
    None,
    NotFound,          // no such device
    PermissionDenied,  // the user may not open it
    InUse,             // another program holds it
    NotSerial,         // it is not a serial port
    NoDevice,          // a device file with no device behind it (/dev/tty without a controlling terminal)
    Other,
};

// Who may open a device that the user may not: its group and permission bits, as stat gives them.
struct DeviceAccess {
    std::string group;  // the group's name, or its number when it has none
    uint32_t mode = 0;  // the permission bits, such as 0660
    bool operator==(const DeviceAccess&) const = default;
};

struct OpenedPort {
    std::unique_ptr<SerialPort> port;  // none when it did not open
    PortOpenFailure failure = PortOpenFailure::None;
    std::optional<DeviceAccess> denied = std::nullopt;  // with PermissionDenied, when the device itself refused
};

// The host's serial port names in the host's own order. `failed` says the listing stopped on an
// error; `names` then holds whatever was read before it (nothing when the list could not be
// opened at all).
struct PortListing {
    std::vector<std::string> names;
    bool failed = false;
};

// How grave a message box is: a failure, or a warning that asks the user to think again.
enum class Severity { Error, Warning };

class Host {
public:
    virtual ~Host() = default;

    virtual OpenedPort OpenSerial(const std::string& name) = 0;
    virtual PortListing ListPorts() = 0;
    virtual uint32_t TickCount() = 0;  // milliseconds, wraps at 2^32
    virtual void Sleep(uint32_t ms) = 0;
    virtual int32_t Today() = 0;              // DayNumber of the local date
    virtual std::string VersionString() = 0;  // "2.1.0.0", or empty without a version record
    // Orders two UTF-8 texts as the user's locale does, regardless of case: negative, zero or
    // positive. Digits count as characters, not numbers: COM1 < COM10 < COM2.
    virtual int CompareIgnoringCase(std::string_view a, std::string_view b) = 0;

    // Called between the polls of an answer wait that has no pause of its own while nothing has
    // come, with the time left to its deadline. The window keeps its busy poll (this default); a
    // console waits on the port.
    virtual void IdleBetweenPolls(SerialPort& port, uint32_t maxMs)
    {
        static_cast<void>(port);
        static_cast<void>(maxMs);
    }

    // Which device the port `name` opens, as a key that every name of that device shares: two
    // names with one key lead to one adapter. On POSIX the device behind any links; where a port
    // has but one name (Windows), the name itself. Empty when the name leads to nothing.
    virtual std::string PortDevice(const std::string& name) { return name; }

    // True once the program has been asked to stop while nothing is being written: no further
    // request is sent. The answer already asked for is still awaited, to its end or its deadline,
    // so that the next program to open the port meets a quiet line. The window never abandons one.
    virtual bool RequestsAbandoned() { return false; }

    // UI services.
    virtual std::string FormatShortDate(int32_t dayNumber) = 0;
    virtual void ProcessMessages() = 0;
    virtual void ShowMessage(const std::string& text, const std::string& title,
                             Severity severity) = 0;  // modal, OK only
    virtual void OpenUrl(const std::string& url) = 0;
};

// The calling thread's installed host. Each thread that runs the device link installs its own
// (the window has one thread; a production line may run one thread per port), and a host serves
// only the thread that installed it. A thread starts with none.
Host& host();
void Install(Host& newHost);

// Installs a host on the calling thread for the lifetime of a scope and puts that thread's previous
// one back afterwards: made and destroyed on the same thread.
class ScopedHost {
public:
    explicit ScopedHost(Host& h);
    ~ScopedHost();
    ScopedHost(const ScopedHost&) = delete;
    ScopedHost& operator=(const ScopedHost&) = delete;

private:
    Host* previous_;
};

}  // namespace platform
