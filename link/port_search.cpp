// The list of the computer's ports and the search for the adapter among them.
#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

bool PortNameLess(std::string_view a, std::string_view b)
{
    return platform::host().CompareIgnoringCase(a, b) < 0;
}

namespace {
thread_local bool lastListingFailed = false;  // the calling thread's last listing, as PortList is
}

bool LastListingFailed()
{
    return lastListingFailed;
}

void ListSerialPorts(std::vector<std::string>& list)
{
    platform::PortListing listing = platform::host().ListPorts();
    lastListingFailed = listing.failed;
    if (listing.failed) Show(messages::kPortListFailed);
    std::stable_sort(listing.names.begin(), listing.names.end(),
                     [](const std::string& a, const std::string& b) { return PortNameLess(a, b); });
    list = std::move(listing.names);
}

int TryPort(const std::string& name)
{
    OpenPort(name);
    if (SerialChannel.portName.empty()) return kPortDidNotOpen;
    if (PingAdapter() >= kAdapterQualifies) return kAdapterAnswered;
    ReleasePort();
    return kNoAdapter;
}

void ReleasePort()
{
    ClosePort();
    SerialChannel.portName.clear();
}

std::vector<PortTrial> TryListedPorts(bool stopAtAdapter)
{
    ListSerialPorts(PortList);
    std::vector<PortTrial> trials;
    for (const std::string& name : PortList) {
        const int result = TryPort(name);
        trials.push_back({name, result, LastOpenFailure(), LastDeniedAccess()});
        if (stopAtAdapter && result == kAdapterAnswered) break;
    }
    return trials;
}

bool ScanForAdapter()
{
    const std::vector<PortTrial> trials = TryListedPorts(true);
    return !trials.empty() && trials.back().result == kAdapterAnswered;
}
