#include "cli/port_connection.h"

#include <cstdio>

#include "cli/joined.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

const char* StatusOf(int tryResult)
{
    if (tryResult == kAdapterAnswered) return "adapter";
    if (tryResult == kNoAdapter) return "no-adapter";
    return "unavailable";
}

// "ttyUSB0: permission denied (...)" for each port that did not open.
std::string OpenFailures(const std::vector<PortTrial>& trials)
{
    std::vector<std::string> failures;
    for (const PortTrial& trial : trials)
        if (trial.result == kPortDidNotOpen)
            failures.push_back(trial.name + ": " + OpenFailureText(trial.failure, trial.denied));
    return Joined(failures, "; ");
}

std::string NoAdapterFound(const std::vector<PortTrial>& trials)
{
    if (trials.empty()) return "no adapter found: no serial ports are listed";
    std::vector<std::string> names;
    for (const PortTrial& trial : trials) names.push_back(trial.name);
    std::string text = "no adapter found on " + Joined(names, ", ");
    if (const std::string failures = OpenFailures(trials); !failures.empty()) text += " (" + failures + ")";
    return text;
}

// "0660": permission bits as chmod and udev write them.
std::string OctalMode(uint32_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Which group may open the device, when its group may read and write it; else that not even its
// group may, where joining it would not help.
std::string PermissionText(const std::optional<platform::DeviceAccess>& denied)
{
    if (!denied) return "permission denied";
    const std::string device = "the device's group is " + denied->group + ", mode " + OctalMode(denied->mode);
    constexpr uint32_t kGroupReadWrite = 0060;
    if ((denied->mode & kGroupReadWrite) != kGroupReadWrite)
        return "permission denied (" + device + ": its group may not read and write it either)";
    return "permission denied (" + device + ": add yourself to " + denied->group +
           "; a new group takes effect at the next login)";
}

}  // namespace

std::string OpenFailureText(platform::PortOpenFailure failure, const std::optional<platform::DeviceAccess>& denied)
{
    switch (failure) {
    case platform::PortOpenFailure::NotFound:
        return "does not exist";
    case platform::PortOpenFailure::PermissionDenied:
        return PermissionText(denied);
    case platform::PortOpenFailure::InUse:
        return "in use by another program";
    case platform::PortOpenFailure::NotSerial:
        return "not a serial port";
    case platform::PortOpenFailure::NoDevice:
        return "has no device behind it (for /dev/tty: no controlling terminal)";
    case platform::PortOpenFailure::None:
    case platform::PortOpenFailure::Other:
        break;
    }
    return "cannot be opened";
}

PortAddress SplitPortArgument(const std::string& port)
{
#ifdef _WIN32
    return {{}, port};  // Windows names its ports plainly: COM3
#else
    const size_t slash = port.rfind('/');
    if (slash == std::string::npos) return {{}, port};
    return {slash == 0 ? "/" : port.substr(0, slash), port.substr(slash + 1)};
#endif
}

std::string ReadFailureText(const std::string& port, ReadFailure failure)
{
    if (failure == ReadFailure::WrongLength)
        return "the encoder on " + PortLabel(port) + " answers with the wrong length: a fault of the encoder or its cable";
    return "no encoder answers on " + PortLabel(port) + " (the adapter does)";
}

void TellListingFailure(std::ostream& err)
{
    if (LastListingFailed()) err << "tarv-cli: the list of serial ports could not be read in full\n";
}

ExitCode ConnectAdapter(const std::string& port, RunContext& context)
{
    std::ostream& err = context.err;
    if (port.empty()) {
        const std::vector<PortTrial> trials = TryListedPorts(true);
        TellListingFailure(err);
        if (!trials.empty() && trials.back().result == kAdapterAnswered) return ExitCode::Done;
        if (context.stopSignal()) return ExitCode::NoAdapter;
        err << "tarv-cli: " << NoAdapterFound(trials) << "\n";
        return ExitCode::NoAdapter;
    }
    const int result = TryPort(SplitPortArgument(port).name);
    if (result == kAdapterAnswered) return ExitCode::Done;
    if (context.stopSignal()) return ExitCode::NoAdapter;
    if (result == kNoAdapter)
        err << "tarv-cli: no adapter answers on " << port << "\n";
    else
        err << "tarv-cli: " << port << ": " << OpenFailureText(LastOpenFailure(), LastDeniedAccess()) << "\n";
    return ExitCode::NoAdapter;
}

AdapterPort::AdapterPort(const std::string& port, RunContext& context)
    : port_(port), code_(ConnectAdapter(port, context))
{
}

PortInUse::~PortInUse()
{
    ClosePort();
}

std::string AdapterPort::Label() const
{
    return PortLabel(port_);
}

std::string PortLabel(const std::string& port)
{
    return port.empty() ? SerialChannel.portName : port;
}

std::vector<PortStatus> ProbePorts(const std::string& port)
{
    std::vector<PortTrial> trials;
    if (!port.empty()) {
        const int result = TryPort(SplitPortArgument(port).name);
        trials.push_back({port, result, LastOpenFailure(), LastDeniedAccess()});
    } else {
        trials = TryListedPorts(false);
    }
    ReleasePort();
    std::vector<PortStatus> statuses;
    for (const PortTrial& trial : trials) {
        const bool unavailable = trial.result == kPortDidNotOpen;
        statuses.push_back(
            {trial.name, StatusOf(trial.result), unavailable ? OpenFailureText(trial.failure, trial.denied) : ""});
    }
    return statuses;
}

}  // namespace cli
