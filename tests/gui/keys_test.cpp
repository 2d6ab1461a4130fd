// The keys P and R: the window sees them before the focused control, also while a list is
// dropped down, and on any keyboard layout.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <map>
#include <ostream>

#include "gui/form_fixture.h"

namespace {

using sim::RequestKind;

class KeysTest : public FormTest {
protected:
    // The window on screen with the adapter's encoder seen by the watch.
    void ShowFormWithEncoder()
    {
        adapter = OpenAdapter();
        MakeFormWithAdapterSeen();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        adapter->ClearLog();
    }

    size_t WholeMemoryReads() const
    {
        size_t reads = 0;
        for (const auto& frame : adapter->FramesOf(RequestKind::EepromRead))
            reads += frame == Bytes{0x55, 0xA1, 0, 0x20};
        return reads;
    }
    size_t BlockWrites() const { return adapter->FramesOf(RequestKind::EepromWrite).size(); }

    std::shared_ptr<sim::AdapterEmulator> adapter;
};

struct CommandKey {
    Qt::Key key;
    size_t writes;      // PROG reads the image, writes it in 16 blocks and reads it again to verify;
    size_t wholeReads;  // READ reads it once
};

void PrintTo(const CommandKey& command, std::ostream* out)
{
    *out << QKeySequence(command.key).toString().toStdString();
}

class KeyInDroppedDownListTest : public KeysTest, public ::testing::WithParamInterface<CommandKey> {};

TEST_P(KeyInDroppedDownListTest, RunsItsCommandOnce)
{
    ShowFormWithEncoder();
    auto* direction = Get<QComboBox>("CmbBoxDir");
    direction->showPopup();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);

    QTest::keyClick(popup->windowHandle(), GetParam().key);  // as the window system delivers it
    EXPECT_EQ(BlockWrites(), GetParam().writes);
    EXPECT_EQ(WholeMemoryReads(), GetParam().wholeReads);
    EXPECT_EQ(QApplication::activePopupWidget(), popup);
    direction->hidePopup();
}

INSTANTIATE_TEST_SUITE_P(PAndR, KeyInDroppedDownListTest,
                         ::testing::Values(CommandKey{Qt::Key_P, 16, 2}, CommandKey{Qt::Key_R, 0, 1}));

TEST_F(KeysTest, TheKeyReachesTheDroppedDownListAfterItsCommand)
{
    ShowFormWithEncoder();
    auto* direction = Get<QComboBox>("CmbBoxDir");
    ASSERT_EQ(direction->currentText(), "Negative");
    direction->showPopup();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);

    // P runs PROG, and then the list's key search moves to "Positive" as it does for a user.
    QTest::keyClick(popup->windowHandle(), Qt::Key_P);
    EXPECT_EQ(BlockWrites(), 16u);
    EXPECT_EQ(direction->view()->currentIndex().data().toString(), "Positive");
    direction->hidePopup();
}

// A keyboard layout whose Latin group carries these letters on these X keycodes.
KeyboardSource X11Layout(std::map<uint32_t, char> latinLetters)
{
    return {.nativeVirtualKeys = false, .latinLetterOnKey = [latinLetters](uint32_t keycode) {
                const auto found = latinLetters.find(keycode);
                return found == latinLetters.end() ? char{0} : found->second;
            }};
}

constexpr int kCyrillicZe = 0x0417;  // on the key that is P in the Latin group
constexpr int kCyrillicEr = 0x0420;  // looks like a p, on the key that is H
constexpr uint32_t kKeycodeP = 33;
constexpr uint32_t kKeycodeH = 43;
constexpr uint32_t kKeycodeComma = 59;

TEST(VirtualKeyTest, LetterKeysGiveTheirLatinLetterOnAnyLayout)
{
    const KeyboardSource x11 = X11Layout({{kKeycodeP, 'P'}, {kKeycodeH, 'H'}, {kKeycodeComma, 'M'}});
    const KeyboardSource windows{.nativeVirtualKeys = true, .latinLetterOnKey = {}};
    struct Case {
        const char* what;
        int key;
        Qt::KeyboardModifiers modifiers;
        uint32_t scanCode;
        uint32_t nativeVirtualKey;
        const KeyboardSource& source;
        int expected;
    };
    const Case cases[] = {
        {"Latin P", Qt::Key_P, Qt::NoModifier, kKeycodeP, 'p', x11, 0x50},
        {"Latin R with Shift", Qt::Key_R, Qt::ShiftModifier, 27, 'R', x11, 0x52},
        {"Cyrillic on the P key", kCyrillicZe, Qt::NoModifier, kKeycodeP, 0x6ba, x11, 0x50},
        {"Cyrillic on the P key with Alt", kCyrillicZe, Qt::AltModifier, kKeycodeP, 0x6ba, x11, 0x50},
        {"the Cyrillic letter like p is H", kCyrillicEr, Qt::NoModifier, kKeycodeH, 0x6d2, x11, 0x48},
        {"Latin punctuation is not looked up", Qt::Key_Comma, Qt::NoModifier, kKeycodeComma, ',', x11, Qt::Key_Comma},
        {"no Latin letter on the key", kCyrillicZe, Qt::NoModifier, 99, 0x6ba, x11, kCyrillicZe},
        {"no keyboard map to ask", kCyrillicZe, Qt::NoModifier, kKeycodeP, 0x6ba, KeyboardSource{}, kCyrillicZe},
        {"Windows virtual key on a Cyrillic layout", kCyrillicZe, Qt::NoModifier, 25, 0x50, windows, 0x50},
        {"Windows virtual key with Ctrl", Qt::Key_R, Qt::ControlModifier, 19, 0x52, windows, 0x52},
        {"Windows event without a native key", Qt::Key_P, Qt::NoModifier, 0, 0, windows, 0x50},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.scanCode, c.nativeVirtualKey, 0);
        EXPECT_EQ(VirtualKeyOf(event, c.source), c.expected) << c.what;
    }
}

TEST_F(KeysTest, PAndROnTheKeysOfACyrillicLayoutRunTheirCommands)
{
    ShowFormWithEncoder();
    form->SetKeyboard(X11Layout({{kKeycodeP, 'P'}, {27, 'R'}}));
    auto* direction = Get<QComboBox>("CmbBoxDir");
    direction->setFocus();

    const auto press = [&](int key, uint32_t keycode) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, keycode, 0, 0, QString(QChar(key).toLower()));
        QCoreApplication::sendEvent(direction, &event);
    };
    press(0x041A, 27);  // Cyrillic ka, on the R key
    EXPECT_EQ(WholeMemoryReads(), 1u);
    EXPECT_EQ(BlockWrites(), 0u);
    press(kCyrillicZe, kKeycodeP);
    EXPECT_EQ(BlockWrites(), 16u);
}

}  // namespace
