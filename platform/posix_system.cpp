// placeholder, replaced by the real implementation
#include "platform/system_host.h"
namespace platform {
std::unique_ptr<SerialPort> SystemHost::OpenSerial(const std::string&) { return nullptr; }
PortListing SystemHost::ListPorts() { return {}; }
uint32_t SystemHost::TickCount() { return 0; }
void SystemHost::Sleep(uint32_t) {}
int32_t SystemHost::Today() { return 0; }
std::string SystemHost::VersionString() { return TARV_VERSION_STRING; }
}
