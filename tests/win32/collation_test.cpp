// Port names in the user's order on Windows: the system's linguistic comparison, ignoring case.
#include <gtest/gtest.h>

#include <string>

#include "e2e/system_host_support.h"

namespace {

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(Win32CollationTest, ComparesCharacterByCharacterRegardlessOfCaseInTheUsersLocale)
{
    struct Case {
        std::string a;
        std::string b;
        int sign;
    };
    const std::string eAcute = "\xC3\xA9";
    const std::string capitalEAcute = "\xC3\x89";
    const Case cases[] = {
        {"COM1", "COM10", -1},
        {"COM10", "COM2", -1},  // digits are characters, not numbers
        {"COM11", "COM9", -1},
        {"com3", "COM3", 0},
        {"", "COM1", -1},
        {"tty" + eAcute + "0", "ttyf0", -1},  // linguistic, where byte order puts the accent last
        {capitalEAcute + "t", eAcute + "T", 0},
    };
    RecordingSystemHost host;
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(host.CompareIgnoringCase(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(Sign(host.CompareIgnoringCase(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
    }
}

}  // namespace
