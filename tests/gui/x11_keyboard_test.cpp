// Which Latin letter a key carries, on keyboard maps compiled from the system's layout data as
// an X server compiles them.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <QGuiApplication>
#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "platform/x11_keyboard.h"

namespace {

struct KeyOnLayouts {
    const char* layouts;  // the user's layout groups, first group first
    const char* key;      // the key's place on the keyboard: AD10 is P's place on a US keyboard
    char letter;
};

void PrintTo(const KeyOnLayouts& key, std::ostream* out)
{
    *out << key.key << " on " << key.layouts;
}

class LatinLetterOnKeyTest : public ::testing::TestWithParam<KeyOnLayouts> {};

TEST_P(LatinLetterOnKeyTest, IsTheLetterOfTheFirstLatinGroup)
{
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                             &xkb_context_unref);
    ASSERT_TRUE(context);
    const xkb_rule_names names{"evdev", "pc105", GetParam().layouts, "", ""};
    const std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
    ASSERT_TRUE(keymap) << GetParam().layouts;
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap.get(), GetParam().key);
    ASSERT_NE(keycode, XKB_KEYCODE_INVALID);

    EXPECT_EQ(platform::LatinLetterOnKey(keymap.get(), keycode), GetParam().letter);
}

const KeyOnLayouts kKeysOnLayouts[] = {
    {"us", "AD10", 'P'},    {"us", "AD04", 'R'},
    {"ru,us", "AD10", 'P'},  // the Cyrillic group comes first
    {"us,ru", "AD04", 'R'}, {"gr,us", "AD10", 'P'},
    {"ru,us", "AC06", 'H'},  // the key of the Cyrillic letter that looks like p
    {"ru,us", "AB08", 0},    // a comma in the Latin group
    {"ru,us", "AE01", 0},    // a digit
    {"fr,us", "AD01", 'A'},  // the first Latin group decides
    {"ru", "AD10", 0},       // no Latin group at all
};

std::string CaseName(const ::testing::TestParamInfo<KeyOnLayouts>& info)
{
    std::string name = std::string(info.param.layouts) + "_" + info.param.key;
    std::replace(name.begin(), name.end(), ',', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Layouts, LatinLetterOnKeyTest, ::testing::ValuesIn(kKeysOnLayouts), CaseName);

// The X server's own map: the suite's run under xvfb has a plain server, whose one group is the
// US layout. Keycodes are those of the evdev rules that X servers on Linux use.
TEST(X11KeyboardTest, ReadsTheServersKeyboardMap)
{
    if (QGuiApplication::platformName() != "xcb") {
        EXPECT_EQ(platform::LatinLetterOnX11Key(33), 0);  // nothing to ask off X11
        GTEST_SKIP() << "not on X11";
    }
    EXPECT_EQ(platform::LatinLetterOnX11Key(33), 'P');
    EXPECT_EQ(platform::LatinLetterOnX11Key(27), 'R');
    EXPECT_EQ(platform::LatinLetterOnX11Key(10), 0);  // the digit 1
}

}  // namespace
