// Case-insensitive comparison of texts in a POSIX locale's collation.
#pragma once

#include <locale.h>

#include <string_view>

namespace platform {

// `a` and `b` (UTF-8) in the collation of `locale`, after both are folded to lower case by its
// character classes: negative, zero or positive.
int CompareIgnoringCaseIn(locale_t locale, std::string_view a, std::string_view b);

}  // namespace platform
