// Finding the adapter for tarv-cli: on the port named with --port, or as start-up does, on the
// first port in the list's order whose adapter answers.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/report_json.h"
#include "cli/run_context.h"
#include "link/Procedure_Tarv_Config.h"
#include "platform/host.h"

namespace cli {

// Leaves the adapter's port open and in use, or says why not on `err` and returns NoAdapter.
// Says nothing when the command was asked to stop meanwhile.
ExitCode ConnectAdapter(const std::string& port, RunContext& context);

// Closes whatever port is in use when it goes: for a command that finds its adapter itself.
struct PortInUse {
    PortInUse() = default;
    ~PortInUse();
    PortInUse(const PortInUse&) = delete;
    PortInUse& operator=(const PortInUse&) = delete;
};

// The adapter's port for as long as a command needs it: connected as ConnectAdapter does, and
// closed on every path out of the command.
class AdapterPort {
public:
    AdapterPort(const std::string& port, RunContext& context);

    bool Open() const { return code_ == ExitCode::Done; }
    ExitCode Code() const { return code_; }  // NoAdapter when it did not open (told on `err`)
    std::string Label() const;               // as PortLabel names it

private:
    PortInUse closes_;
    std::string port_;
    ExitCode code_;
};

// What a failed read tells of the encoder on the adapter's port: that none answers, or that one
// answers with the wrong length, a fault of the encoder or its cable and no empty adapter.
std::string ReadFailureText(const std::string& port, ReadFailure failure);

// Says so on `err` when the last listing of the ports stopped on an error.
void TellListingFailure(std::ostream& err);

// Why a port did not open, as the messages say it: "not a serial port". A permission refused names
// the device's group and mode when `denied` has them.
std::string OpenFailureText(platform::PortOpenFailure failure,
                            const std::optional<platform::DeviceAccess>& denied = std::nullopt);

// The port in use, as the output names it: the --port argument as given, or the port found.
std::string PortLabel(const std::string& port);

// Every listed port (or only the one named) with whether an adapter answers on it. Leaves no
// port open.
std::vector<PortStatus> ProbePorts(const std::string& port);

// A --port argument on POSIX: a plain name opens below /dev; a path (with a '/') is split into
// its folder and its name, such as /dev/serial/by-id and usb-FTDI_...-port0.
struct PortAddress {
    std::string folder;  // empty for a plain name
    std::string name;
};
PortAddress SplitPortArgument(const std::string& port);

}  // namespace cli
