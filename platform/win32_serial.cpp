// The serial port on Windows: a COM device opened exclusively and used synchronously, with the
// line set to 19200 baud 8N2 and every flag of the settings record cleared.
#include "platform/win32_serial.h"

#include "platform/system_host.h"

namespace platform {
namespace {

class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort(HANDLE handle, const DCB& before) : handle_(handle), before_(before) {}
    ~Win32SerialPort() override
    {
        if (!adapter_) SetCommState(handle_, &before_);  // another device's line as it was
        CloseHandle(handle_);
    }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void DiscardReceived() override { PurgeComm(handle_, PURGE_RXCLEAR); }

    std::optional<uint32_t> BytesWaiting() override
    {
        // Also clears the port's error state, which nobody looks at.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) return std::nullopt;
        return status.cbInQue;
    }

    void Write(std::span<const uint8_t> bytes) override
    {
        DWORD written = 0;
        WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

    size_t Read(std::span<uint8_t> into) override
    {
        // The link asks only for bytes already waiting, so this returns at once.
        DWORD got = 0;
        if (!ReadFile(handle_, into.data(), static_cast<DWORD>(into.size()), &got, nullptr)) return 0;
        return got;
    }

    // The console's timer resolution is 1 ms (tarv-cli asks for it), so this costs at most 1 ms
    // of latency per answer and no processor time.
    void AwaitReceive(uint32_t maxMs) override { ::Sleep(maxMs < 1 ? maxMs : 1); }

    void AdapterAnswered() override { adapter_ = true; }

private:
    HANDLE handle_;
    DCB before_;
    bool adapter_ = false;
};

// From the settings the port has. A refused setting is ignored on purpose: the port stays open
// and the adapter's answer decides.
void ConfigureLine(HANDLE handle, DCB dcb)
{
    ApplyLineSettings(dcb);
    SetCommState(handle, &dcb);
}

PortOpenFailure FailureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return PortOpenFailure::NotFound;
    // Windows says "access denied" for a COM port that another program holds.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortOpenFailure::InUse;
    default:
        return PortOpenFailure::Other;
    }
}

}  // namespace

// The DCB has no named flags word, so each bit field is cleared: no parity check, no flow
// control of any kind, DTR and RTS disabled, no error replacement, no null stripping, no abort.
void ApplyLineSettings(DCB& dcb)
{
    dcb.BaudRate = 19200;
    dcb.fBinary = 0;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = 0;
    dcb.fAbortOnError = 0;
    dcb.fDummy2 = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
}

OpenedPort SystemHost::OpenSerial(const std::string& name)
{
    const std::string path = "\\\\.\\" + name;
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {nullptr, FailureOf(GetLastError())};
    // "\\.\" also reaches files and disks: only a character device with a line to set is a port,
    // and nothing else is done with anything that is not.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(handle) != FILE_TYPE_CHAR || !GetCommState(handle, &dcb)) {
        CloseHandle(handle);
        return {nullptr, PortOpenFailure::NotSerial};
    }
    ConfigureLine(handle, dcb);
    return {std::make_unique<Win32SerialPort>(handle, dcb), PortOpenFailure::None};
}

}  // namespace platform
