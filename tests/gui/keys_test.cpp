// The keys P and R: the window sees them before the focused control, also while a list is
// dropped down, and on any keyboard layout.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>

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

}  // namespace
