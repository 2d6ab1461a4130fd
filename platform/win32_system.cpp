// The tick, sleep, local date and the version from the program's own version resource on Windows.
#include "platform/win32_api.h"

#include <vector>

#include "model/day_number.h"
#include "platform/system_host.h"

namespace platform {
namespace {
std::wstring ProgramPath()
{
    // Grow the buffer until the whole path fits; a path that fills it may have been cut short.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
}  // namespace

uint32_t SystemHost::TickCount()
{
    return GetTickCount();
}

void SystemHost::Sleep(uint32_t ms)
{
    ::Sleep(ms);
}

int32_t SystemHost::Today()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return DayNumberFromDate({now.wYear, now.wMonth, now.wDay});
}

std::string SystemHost::VersionString()
{
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> record(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data())) return {};
    void* root = nullptr;
    UINT rootSize = 0;
    if (!VerQueryValueW(record.data(), L"\\", &root, &rootSize) || root == nullptr ||
        rootSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace platform
