// Port names in the user's order: the collation and case folding of the locale that the
// environment names, as for any other program of the user's.
#include "platform/posix_collation.h"

#include <wchar.h>
#include <wctype.h>

#include <string>

#include "platform/system_host.h"

namespace platform {
namespace {
// The length of the UTF-8 sequence that `lead` starts, or 0 when it starts none.
size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

// UTF-8 as wide characters, each folded to lower case. A byte that starts no complete sequence
// stands for itself, so that no two different names become the same text.
std::wstring FoldedWide(std::string_view text, locale_t locale)
{
    std::wstring wide;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = SequenceLength(lead);
        bool complete = length != 0 && i + length <= text.size();
        char32_t code = length <= 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; complete && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            complete = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!complete) code = lead;
        wide.push_back(static_cast<wchar_t>(towlower_l(static_cast<wint_t>(code), locale)));
        i += complete ? length : 1;
    }
    return wide;
}

// The collation and character classes that the environment names (LC_ALL, LC_COLLATE and
// LC_CTYPE, LANG), made once; the C locale when it names one that is not installed.
locale_t UserLocale()
{
    static const locale_t locale = [] {
        constexpr int kCategories = LC_COLLATE_MASK | LC_CTYPE_MASK;
        const locale_t user = newlocale(kCategories, "", nullptr);
        return user != nullptr ? user : newlocale(kCategories, "C", nullptr);
    }();
    return locale;
}
}  // namespace

int CompareIgnoringCaseIn(locale_t locale, std::string_view a, std::string_view b)
{
    return wcscoll_l(FoldedWide(a, locale).c_str(), FoldedWide(b, locale).c_str(), locale);
}

int SystemHost::CompareIgnoringCase(std::string_view a, std::string_view b)
{
    const locale_t locale = UserLocale();
    if (locale == nullptr) return a.compare(b);  // not even the C locale could be had: byte order
    return CompareIgnoringCaseIn(locale, a, b);
}

}  // namespace platform
