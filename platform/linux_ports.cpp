// The serial port list on Linux: the ttys of sysfs that have a device behind them.
#include <filesystem>
#include <fstream>

#include "platform/system_host.h"

namespace platform {
namespace {
namespace fs = std::filesystem;

// The kernel creates a ttyS entry for every legacy UART slot, present or not; an empty slot
// reports port type 0 (unknown). Entries without a `type` file (USB, ACM) are real ports.
bool IsEmptyUartSlot(const fs::path& entry)
{
    std::ifstream typeFile(entry / "type");
    int type = -1;
    return typeFile >> type && type == 0;
}

bool IsPort(const fs::path& entry)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(entry / "device", error)) && !IsEmptyUartSlot(entry);
}
}  // namespace

PortListing SystemHost::ListPorts()
{
    PortListing listing;
    std::error_code error;
    fs::directory_iterator entries(paths_.sysClassTty, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        if (IsPort(entries->path())) listing.names.push_back(entries->path().filename().string());
    }
    listing.failed = static_cast<bool>(error);
    return listing;
}

}  // namespace platform
