#include <gtest/gtest.h>

#include <QGroupBox>
#include <QRadioButton>
#include <QTest>

#include "gui/form_fixture.h"

namespace {

using sim::AdapterOptions;
using sim::RequestKind;

class PortDialogTest : public FormTest {
protected:
    // Runs `whileOpen` once the modal dialog is up, then closes it the way `whileOpen` chose.
    void ClickPortButton(std::function<void()> whileOpen)
    {
        dialogShown = false;
        QTimer::singleShot(0, dialog, [this, whileOpen] {
            dialogShown = dialog->isVisible();
            whileOpen();
            if (dialog->isVisible()) dialog->done(QDialog::Rejected);
        });
        QTest::mouseClick(Get<QPushButton>("BitBtn1"), Qt::LeftButton);
    }

    QStringList Items() const
    {
        QStringList items;
        for (const auto* item : dialog->findChildren<QRadioButton*>()) items << item->text();
        return items;
    }

    QPushButton* DialogButton(const char* name) const { return dialog->findChild<QPushButton*>(name); }

    bool dialogShown = false;
};

TEST_F(PortDialogTest, ListsTheAnsweringPortsAndReopensThePreviousOne)
{
    auto silent = AddAdapter("COM1", sim::Format2Image(), SilentAdapter());
    auto first = AddAdapter("COM2");
    auto second = AddAdapter("COM4");
    MakeForm();  // start-up takes COM2
    for (const auto& adapter : {silent, first, second}) adapter->ClearLog();

    ClickPortButton([&] {
        EXPECT_EQ(Items(), (QStringList{"COM2", "COM4"}));
        EXPECT_EQ(dialog->SelectedIndex(), 0);
        EXPECT_EQ(dialog->windowTitle(), "Port selection");
        EXPECT_EQ(dialog->size(), QSize(236, 74));
        EXPECT_EQ(SerialChannel.portName, "COM2");
        EXPECT_TRUE(PortIsOpen());
        QTest::mouseClick(DialogButton("BtnCancel"), Qt::LeftButton);
    });
    EXPECT_TRUE(dialogShown);
    for (const auto& adapter : {silent, first, second}) EXPECT_EQ(adapter->FramesOf(RequestKind::Presence).size(), 1u);
    EXPECT_EQ(SerialChannel.portName, "COM2");
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(PortDialogTest, OkTakesThePickedPortAndForgetsKV21)
{
    AddAdapter("COM2");
    auto picked = AddAdapter("COM4");
    MakeForm();
    DeviceModel.ProductFamilyFlags = {1, 1, 0, 1, 0};
    form->Timer1->stop();
    ClickPortButton([&] {
        picked->ClearLog();
        dialog->findChildren<QRadioButton*>().at(1)->click();
        QTest::mouseClick(DialogButton("BtnOK"), Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_EQ(SerialChannel.portName, "COM4");
    EXPECT_TRUE(PortIsOpen());
    EXPECT_EQ(AsBytes(DeviceModel.ProductFamilyFlags), (Bytes{0, 1, 0, 1, 0}));
    EXPECT_EQ(picked->FramesOf(RequestKind::Presence).size(), 1u);
    EXPECT_EQ(picked->FramesOf(RequestKind::Signal).size(), 4u);
    EXPECT_FALSE(form->Timer1->isActive());  // as the click found it
}

TEST_F(PortDialogTest, NoAnsweringPortShowsNothingAndLeavesNoPort)
{
    AddAdapter("COM1", sim::Format2Image(), SilentAdapter());
    MakeForm();
    ClickPortButton([] {});
    EXPECT_FALSE(dialogShown);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "");
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(PortDialogTest, OkWithoutSelectionChangesNothing)
{
    AddAdapter("COM2");
    MakeForm();
    ClosePort();
    SerialChannel.portName.clear();
    ClickPortButton([&] {
        EXPECT_EQ(dialog->SelectedIndex(), -1);
        QTest::keyClick(dialog, Qt::Key_Escape);  // Escape is not Cancel here
        EXPECT_TRUE(dialog->isVisible());
        QTest::mouseClick(DialogButton("BtnOK"), Qt::LeftButton);
    });
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "");
}

TEST_F(PortDialogTest, DialogHeightFollowsThePortCount)
{
    struct Case {
        int ports;
        int clientHeight;
        int listHeight;
    };
    const Case cases[] = {{1, 70, 44}, {2, 74, 66}, {3, 96, 88}, {5, 140, 132}};
    MakeForm();
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (int i = 0; i < c.ports; ++i) names.push_back("COM" + std::to_string(i + 1));
        dialog->SetPorts(names, "com2");
        dialog->FormActivate();
        EXPECT_EQ(dialog->size(), QSize(236, c.clientHeight)) << c.ports;
        const auto* list = dialog->findChild<QGroupBox*>("RgCOMlist");
        EXPECT_EQ(list->geometry(), QRect(8, 4, 117, c.listHeight)) << c.ports;
        EXPECT_EQ(DialogButton("BtnOK")->geometry(), QRect(144, 12, 75, 25));
        EXPECT_EQ(DialogButton("BtnCancel")->geometry(), QRect(144, 41, 75, 25));
        EXPECT_EQ(dialog->SelectedIndex(), c.ports >= 2 ? 1 : -1) << c.ports;
        EXPECT_EQ(list->title(), "Port list");
        EXPECT_FALSE(DialogButton("BtnOK")->isDefault());
        EXPECT_FALSE(DialogButton("BtnOK")->autoDefault());
    }
}

}  // namespace
