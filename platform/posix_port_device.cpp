// Which device a port name opens on POSIX: names that differ (a link and its target, two links,
// a copy of the device node) may lead to one terminal, and so to one adapter.
#include <sys/stat.h>

#include "platform/system_host.h"

namespace platform {

std::string SystemHost::PortDevice(const std::string& name)
{
    // The name is looked up as OpenSerial looks it up, links followed.
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) return {};
    struct stat status {};
    if (stat((paths_.devDir + "/" + name).c_str(), &status) != 0) return {};
    // A terminal is its device number, whichever node names it; anything else its file.
    if (S_ISCHR(status.st_mode)) return "device " + std::to_string(status.st_rdev);
    return "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

}  // namespace platform
