// The serial port list on Windows: the data of the values under HARDWARE\DEVICEMAP\SERIALCOMM.
#include "platform/win32_api.h"

#include <cstring>

#include "platform/system_host.h"

namespace platform {
namespace {
constexpr DWORD kValueNameChars = 256;
constexpr DWORD kValueDataBytes = 256;

// The value's data is a UTF-16 port name. Registry data need not end in a null character, so
// take what the size says and cut at the first null, if there is one.
std::string PortNameFromData(const BYTE* data, DWORD size)
{
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    if (const size_t end = wide.find(L'\0'); end != std::wstring::npos) wide.resize(end);
    if (wide.empty()) return {};
    const int wideLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, name.data(), length, nullptr, nullptr);
    return name;
}
}  // namespace

PortListing SystemHost::ListPorts()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {{}, true};
    PortListing listing;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[kValueNameChars];
        DWORD nameChars = kValueNameChars;
        BYTE data[kValueDataBytes];
        DWORD dataSize = kValueDataBytes;
        const LSTATUS status = RegEnumValueW(key, index, valueName, &nameChars, nullptr, nullptr, data, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        // A name or data too long for the buffers (ERROR_MORE_DATA) ends the listing like any error.
        if (status != ERROR_SUCCESS) {
            listing.failed = true;
            break;
        }
        listing.names.push_back(PortNameFromData(data, dataSize));
    }
    RegCloseKey(key);
    return listing;
}

}  // namespace platform
