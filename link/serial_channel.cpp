// The calling thread's open serial port: a channel of bytes to the adapter.
#include <optional>
#include <vector>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "model/thread_owned.h"
#include "platform/host.h"

namespace {
// The thread's own, as its channel is: a thread hears only its own port.
thread_local platform::PortOpenFailure lastOpenFailure = platform::PortOpenFailure::None;
thread_local std::optional<platform::DeviceAccess>& lastDeniedAccess =
    NewOfThisThread<std::optional<platform::DeviceAccess>>();
thread_local WireObserver& wireObserver = NewOfThisThread<WireObserver>();

void Observe(char direction, std::span<const uint8_t> bytes)
{
    if (wireObserver && !bytes.empty()) wireObserver(SerialChannel.portName, direction, bytes);
}

// What a discard is about to throw away, read from the port's receive queue first.
void ObserveDiscard()
{
    const std::optional<uint32_t> waiting = SerialChannel.port->BytesWaiting();
    if (!waiting || *waiting == 0) return;
    std::vector<uint8_t> bytes(*waiting);
    bytes.resize(SerialChannel.port->Read(bytes));
    Observe('x', bytes);
}
}  // namespace

void ObserveWire(WireObserver observer)
{
    wireObserver = std::move(observer);
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
    // What still waits goes unread with the port; a trace shows it, since a late answer tells
    // why a wait gave up.
    if (PortIsOpen() && wireObserver) ObserveDiscard();
    SerialChannel.port.reset();
}

void OpenPort(const std::string& name)
{
    ClosePort();  // under the name it was opened with
    SerialChannel.portName = name;
    // The host opens only a terminal device, exclusively, and sets 19200 baud, 8 data bits, no
    // parity, 2 stop bits and no flow control; a rejected setting leaves the port open all the same.
    platform::OpenedPort opened = platform::host().OpenSerial(name);
    lastOpenFailure = opened.failure;
    lastDeniedAccess = opened.denied;
    SerialChannel.port.reset(opened.port.release());
    if (!PortIsOpen()) SerialChannel.portName.clear();
}

platform::PortOpenFailure LastOpenFailure()
{
    return lastOpenFailure;
}

std::optional<platform::DeviceAccess> LastDeniedAccess()
{
    return lastDeniedAccess;
}

void DiscardReceived()
{
    if (!PortIsOpen()) return;
    if (wireObserver) ObserveDiscard();
    SerialChannel.port->DiscardReceived();
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
    if (!PortIsOpen()) return;
    Observe('>', bytes);
    SerialChannel.port->Write(bytes);
}

size_t ReadBytes(std::span<uint8_t> into)
{
    if (!PortIsOpen()) return 0;
    const size_t read = SerialChannel.port->Read(into);
    Observe('<', into.first(read));
    return read;
}
