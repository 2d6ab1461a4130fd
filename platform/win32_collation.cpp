// Port names in the user's order: the system's linguistic comparison for the user's locale,
// ignoring case, as the rest of Windows sorts names.
#include <string>

#include "platform/system_host.h"
#include "platform/win32_api.h"

namespace platform {
namespace {
std::wstring Widen(std::string_view text)
{
    if (text.empty()) return {};
    const int bytes = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, wide.data(), length);
    return wide;
}
}  // namespace

int SystemHost::CompareIgnoringCase(std::string_view a, std::string_view b)
{
    const std::wstring wideA = Widen(a);
    const std::wstring wideB = Widen(b);
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wideA.data(),
                                      static_cast<int>(wideA.size()), wideB.data(), static_cast<int>(wideB.size()));
    if (result == 0) return a.compare(b);  // the call failed: byte order rather than no order
    return result - CSTR_EQUAL;
}

}  // namespace platform
