// The main window's controls against the control table: parent, position, size, text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <cstdlib>

#include "app/placement.h"
#include "gui/form_fixture.h"

namespace {

using GeometryTest = FormTest;

struct Control {
    const char* name;
    const char* parent;
    QRect geometry;  // width -1: a label sized to its text
    const char* text;
};

TEST_F(GeometryTest, ControlsStandWhereTheTableSays)
{
    MakeForm();
    const Control controls[] = {
        {"Bevel1", "TForm1", {0, 0, 397, 1}, nullptr},
        {"Panel1", "TForm1", {0, 0, 397, 26}, nullptr},
        {"Panel5", "Panel1", {0, 0, 20, 26}, nullptr},
        {"Image321", "Panel1", {297, 0, 93, 26}, nullptr},
        {"Panel2", "Panel1", {390, 0, 7, 26}, nullptr},
        {"Panel6", "TForm1", {0, 26, 397, 8}, nullptr},
        {"Panel7", "TForm1", {0, 34, 397, 2}, nullptr},
        {"Panel4", "TForm1", {0, 28, 397, 268}, nullptr},
        {"Label46", "Panel4", {12, 21, -1, 16}, "Resolution"},
        {"Label28", "Panel4", {12, 51, -1, 16}, "Edge Separation"},
        {"Label30", "Panel4", {12, 81, -1, 16}, "Direction"},
        {"CmbBoxRes", "Panel4", {124, 17, 182, 24}, nullptr},
        {"CmbBoxFCTR", "Panel4", {124, 48, 182, 24}, nullptr},
        {"CmbBoxDir", "Panel4", {124, 78, 182, 24}, nullptr},
        {"BtnProg", "Panel4", {311, 17, 80, 27}, "PROG"},
        {"BtnRead", "Panel4", {311, 47, 80, 27}, "READ"},
        {"BitBtn1", "Panel4", {311, 77, 80, 27}, ""},
        {"Panel3", "Panel4", {10, 110, 381, 133}, nullptr},
        {"Label1", "Panel3", {4, 15, -1, 16}, "Product name:"},
        {"Label3", "Panel3", {4, 45, -1, 16}, "Serial number:"},
        {"Label4", "Panel3", {4, 75, -1, 16}, "Manufactured date:"},
        {"Label9", "Panel3", {4, 105, -1, 16}, "Last changed:"},
        {"LblPn", "Panel3", {146, 15, -1, 16}, "....."},
        {"LblSn", "Panel3", {146, 45, -1, 16}, "....."},
        {"LblMf", "Panel3", {146, 75, -1, 16}, "....."},
        {"LblLc", "Panel3", {145, 105, -1, 16}, "....."},
        {"StBar1", "Panel4", {1, 248, 395, 19}, nullptr},
    };
    for (const auto& c : controls) {
        auto* widget = Get(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), c.parent) << c.name;
        QRect expected = c.geometry;
        if (expected.width() < 0) expected.setWidth(widget->sizeHint().width());
        EXPECT_EQ(widget->geometry(), expected) << c.name;
        if (c.text != nullptr) {
            EXPECT_EQ(widget->property("text").toString(), c.text) << c.name;
        }
    }
    EXPECT_EQ(form->size(), QSize(397, 296));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(Get("StBar1Panel0")->minimumWidth(), 180);
}

TEST_F(GeometryTest, FontsColoursTipsAndTabOrder)
{
    MakeForm();
    EXPECT_EQ(form->font().pixelSize(), 13);
    EXPECT_EQ(Get("BtnProg")->font().pixelSize(), 11);
    EXPECT_TRUE(Get("BtnRead")->font().bold());
    EXPECT_TRUE(Get("LblLc")->font().bold());
    EXPECT_FALSE(Get("Label9")->font().bold());
    EXPECT_EQ(Get("Panel6")->palette().color(QPalette::Window), QColor(247, 147, 30));
    EXPECT_EQ(Get("Panel7")->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(Get("Panel1")->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Get("BtnProg")->toolTip(), "Programming the settings");
    EXPECT_EQ(Get("BtnRead")->toolTip(), "Reads the settings");
    EXPECT_EQ(Get("BitBtn1")->toolTip(), "Select port for programming device");
    EXPECT_EQ(Get("BitBtn1")->focusPolicy() & Qt::TabFocus, 0);
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
    EXPECT_EQ(form->Timer1->interval(), 500);

    QWidget* chain = Get("BtnProg");
    QStringList order;
    for (int i = 0; i < 5; ++i, chain = chain->nextInFocusChain()) {
        while (!(chain->focusPolicy() & Qt::TabFocus)) chain = chain->nextInFocusChain();
        order << chain->objectName();
    }
    EXPECT_EQ(order, (QStringList{"BtnProg", "BtnRead", "CmbBoxRes", "CmbBoxFCTR", "CmbBoxDir"}));
}

TEST_F(GeometryTest, TheWindowWithItsFrameIsCentredOnTheDesktop)
{
    MakeForm();
    CentreOnDesktop(*form);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

    const QRect frame = form->frameGeometry();
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    // The offscreen platform draws a frame of 2 pixels, so a centred client area is off by 2.
    EXPECT_LE(std::abs((frame.left() - desktop.left()) - (desktop.right() - frame.right())), 1) << frame.x();
    EXPECT_LE(std::abs((frame.top() - desktop.top()) - (desktop.bottom() - frame.bottom())), 1) << frame.y();
}

}  // namespace
