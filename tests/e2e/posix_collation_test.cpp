// Port names compared in a locale's collation, regardless of case.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/system_host_support.h"
#include "platform/posix_collation.h"

namespace {

struct Comparison {
    const char* locale;
    std::string a;
    std::string b;
    int sign;  // of the result
};

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(PosixCollationTest, ComparesCharacterByCharacterRegardlessOfCase)
{
    const Comparison cases[] = {
        {"C.UTF-8", "COM1", "COM10", -1},
        {"C.UTF-8", "COM10", "COM2", -1},  // digits are characters, not numbers
        {"C.UTF-8", "COM11", "COM2", -1},
        {"C.UTF-8", "com3", "COM3", 0},
        {"C.UTF-8", "ttyACM0", "ttyS0", -1},
        {"C.UTF-8", "ttyS0", "ttyusb0", -1},
        {"C.UTF-8", "", "COM1", -1},
        {"C.UTF-8", "\xC3\x84RGER", "\xC3\xA4rger", 0},  // the locale folds letters beyond ASCII...
        {"C", "\xC3\x84RGER", "\xC3\xA4rger", -1},       // ...the C locale does not
        {"C", "COM10", "com2", -1},
        {"C.UTF-8", "tty\xFF", "tty\xFE", 1},  // bytes that are no UTF-8 stay apart
        {"C.UTF-8", "tty\xC3", "tty", 1},      // a sequence cut short
    };
    for (const Comparison& c : cases) {
        const std::unique_ptr<std::remove_pointer_t<locale_t>, decltype(&freelocale)> locale(
            newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, c.locale, nullptr), &freelocale);
        ASSERT_NE(locale, nullptr) << c.locale;
        EXPECT_EQ(Sign(platform::CompareIgnoringCaseIn(locale.get(), c.a, c.b)), c.sign)
            << c.locale << ": " << c.a << " vs " << c.b;
        EXPECT_EQ(Sign(platform::CompareIgnoringCaseIn(locale.get(), c.b, c.a)), -c.sign)
            << c.locale << ": " << c.b << " vs " << c.a;
    }
}

TEST(PosixCollationTest, TheSystemHostSortsPortNamesInTheUsersLocale)
{
    // Whatever the locale of the machine running the test, these hold in every one of them.
    RecordingSystemHost host;
    EXPECT_LT(host.CompareIgnoringCase("COM1", "COM10"), 0);
    EXPECT_LT(host.CompareIgnoringCase("COM10", "COM2"), 0);
    EXPECT_EQ(host.CompareIgnoringCase("ttyUSB0", "ttyusb0"), 0);
}

}  // namespace
