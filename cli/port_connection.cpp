#include "cli/port_connection.h"

#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {
constexpr int kAdapterAnswered = 0;
constexpr int kNoAdapter = -1;

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

const char* StatusOf(int tryResult)
{
    if (tryResult == kAdapterAnswered) return "adapter";
    if (tryResult == kNoAdapter) return "no-adapter";
    return "unavailable";
}

void ReleasePort()
{
    ClosePort();
    SerialChannel.portName.clear();
}
}  // namespace

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

ExitCode ConnectAdapter(const std::string& port, std::ostream& err)
{
    if (port.empty()) {
        if (ScanForAdapter()) return ExitCode::Done;
        err << "tarv-cli: no adapter found"
            << (PortList.empty() ? std::string(": no serial ports are listed") : " on " + Joined(PortList)) << "\n";
        return ExitCode::NoAdapter;
    }
    const int result = TryPort(SplitPortArgument(port).name);
    if (result == kAdapterAnswered) return ExitCode::Done;
    if (result == kNoAdapter)
        err << "tarv-cli: no adapter answers on " << port << "\n";
    else
        err << "tarv-cli: " << port << " is unavailable (it does not exist, is in use or may not be opened)\n";
    return ExitCode::NoAdapter;
}

std::string PortLabel(const std::string& port)
{
    return port.empty() ? SerialChannel.portName : port;
}

std::vector<PortStatus> ProbePorts(const std::string& port)
{
    std::vector<PortStatus> statuses;
    if (!port.empty()) {
        statuses.push_back({port, StatusOf(TryPort(SplitPortArgument(port).name))});
    } else {
        ListSerialPorts(PortList);
        for (const std::string& name : PortList) statuses.push_back({name, StatusOf(TryPort(name))});
    }
    ReleasePort();
    return statuses;
}

}  // namespace cli
