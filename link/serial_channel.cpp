// The one open serial port, the list of the computer's ports, and the search for the adapter.
#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

bool PortNameLess(std::string_view a, std::string_view b)
{
    return platform::host().CompareIgnoringCase(a, b) < 0;
}

void ListSerialPorts(std::vector<std::string>& list)
{
    platform::PortListing listing = platform::host().ListPorts();
    if (listing.failed) Show(messages::kPortListFailed);
    std::stable_sort(listing.names.begin(), listing.names.end(),
                     [](const std::string& a, const std::string& b) { return PortNameLess(a, b); });
    list = std::move(listing.names);
}

void SerialPortCloser::operator()(platform::SerialPort* port) const
{
    delete port;  // closing is destruction
}

bool PortIsOpen()
{
    return SerialChannel.port != nullptr;
}

void ClosePort()
{
    SerialChannel.port.reset();
}

void OpenPort(const std::string& name)
{
    SerialChannel.portName = name;
    ClosePort();
    // The host opens the device exclusively and sets 19200 baud, 8 data bits, no parity, 2 stop
    // bits and no flow control; a rejected setting leaves the port open all the same.
    SerialChannel.port.reset(platform::host().OpenSerial(name).release());
    if (!PortIsOpen()) SerialChannel.portName.clear();
}

int TryPort(const std::string& name)
{
    OpenPort(name);
    if (SerialChannel.portName.empty()) return -2;
    if (PingAdapter() >= kAdapterQualifies) return 0;
    ClosePort();
    SerialChannel.portName.clear();
    return -1;
}

bool ScanForAdapter()
{
    ListSerialPorts(PortList);
    return std::any_of(PortList.begin(), PortList.end(), [](const std::string& name) { return TryPort(name) == 0; });
}

void DiscardReceived()
{
    if (PortIsOpen()) SerialChannel.port->DiscardReceived();
}

uint32_t BytesWaiting()
{
    if (PortIsOpen()) {
        if (const auto count = SerialChannel.port->BytesWaiting()) SerialChannel.bytesWaiting = *count;
    }
    return SerialChannel.bytesWaiting;
}

void WriteBytes(std::span<const uint8_t> bytes)
{
    if (PortIsOpen()) SerialChannel.port->Write(bytes);
}

size_t ReadBytes(std::span<uint8_t> into)
{
    return PortIsOpen() ? SerialChannel.port->Read(into) : 0;
}
