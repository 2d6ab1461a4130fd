#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "gui/form_fixture.h"

namespace {

using StartupTest = FormTest;
using sim::AdapterOptions;
using sim::RequestKind;

TEST_F(StartupTest, FindsTheAdapterOnTheSecondOfThreePortsAndBlinksIt)
{
    auto nothing = AddAdapter("COM1", sim::Format2Image(), SilentAdapter());
    auto adapter = AddAdapter("COM2");
    auto third = AddAdapter("COM3");
    MakeForm();

    EXPECT_EQ(form->windowTitle(), "Tarv Configurator (Ver. 2.1.0.0)");
    EXPECT_EQ(host.openAttempts(), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_TRUE(third->log().empty());
    EXPECT_EQ(SerialChannel.portName, "COM2");
    EXPECT_EQ(adapter->FramesOf(RequestKind::Signal).size(), 4u);
    EXPECT_TRUE(Get<QPushButton>("BtnProg")->isEnabled());
    EXPECT_TRUE(Get<QPushButton>("BtnRead")->isEnabled());
    for (const char* label : {"LblPn", "LblSn", "LblMf", "LblLc"}) EXPECT_EQ(Text(label), ".....") << label;
    EXPECT_EQ(Status(), "");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 500);
    EXPECT_EQ(AsBytes(DeviceModel.DeviceTag), TextBytes("QF27T4NE"));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(StartupTest, WithoutAdapterTheCommandsAreDisabledButKeysStillRunThem)
{
    host.ListPort("COM1");
    MakeForm();
    EXPECT_FALSE(Get<QPushButton>("BtnProg")->isEnabled());
    EXPECT_FALSE(Get<QPushButton>("BtnRead")->isEnabled());
    DeviceModel.WatchIdle = true;  // as after the first tick

    QTest::keyClick(form.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"No programming device", "ERROR"}}));
    host.ClearMessages();
    QTest::keyClick(form.get(), Qt::Key_R, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port not valid", "ERROR"}}));
    EXPECT_TRUE(Get<QPushButton>("BtnRead")->isEnabled());  // READ enables itself; the watch disables it again
}

TEST_F(StartupTest, AFailedPortListingIsShownBeforeTheWindow)
{
    host.SetListing({{}, true});
    MakeForm();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"Error", "COM PORT"}}));
    EXPECT_FALSE(Get<QPushButton>("BtnProg")->isEnabled());
}

TEST_F(StartupTest, AMissingVersionLeavesTheParenthesesEmpty)
{
    host.SetVersion("");
    MakeForm();
    EXPECT_EQ(form->windowTitle(), "Tarv Configurator (Ver. )");
}

TEST_F(StartupTest, KeysReachTheFocusedControlAfterTheirCommand)
{
    OpenAdapter();
    MakeForm();
    form->Timer1Timer();
    auto* direction = Get<QComboBox>("CmbBoxDir");
    direction->setFocus();
    const int before = static_cast<int>(host.messages().size());

    // P runs PROG, and then the list's own key search picks "Positive" as a user's pick does.
    QTest::keyClick(direction, Qt::Key_P);
    EXPECT_EQ(static_cast<int>(host.messages().size()), before);
    EXPECT_EQ(direction->currentText(), "Positive");
    EXPECT_EQ(DeviceModel.ConfigBlock[2] & 0x20, 0x20);
}

TEST_F(StartupTest, LogoOpensTheMakersAddress)
{
    MakeForm();
    auto* logo = Get<QLabel>("Image321");
    QTest::mouseClick(logo, Qt::LeftButton);
    EXPECT_EQ(host.openedUrls(), (std::vector<std::string>{kMakerWebAddress}));
    EXPECT_EQ(logo->toolTip(), kMakerWebAddress);
    EXPECT_EQ(logo->cursor().shape(), Qt::PointingHandCursor);
}

// One mouse event as the logo receives it, over it or beside it.
struct MouseStep {
    QEvent::Type type;
    Qt::MouseButton button;
    bool overLogo = true;
};

void Deliver(QWidget* logo, const MouseStep& step)
{
    const QPoint at = step.overLogo ? logo->rect().center() : QPoint(logo->width() + 10, logo->height() / 2);
    const Qt::MouseButtons held =
        step.type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(step.button);
    QMouseEvent event(step.type, at, logo->mapToGlobal(at), step.button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(logo, &event);
}

TEST_F(StartupTest, TheLogoOpensTheAddressOncePerLeftClick)
{
    constexpr auto Press = QEvent::MouseButtonPress;
    constexpr auto Release = QEvent::MouseButtonRelease;
    constexpr auto DoubleClick = QEvent::MouseButtonDblClick;
    struct Case {
        const char* what;
        std::vector<MouseStep> steps;
        size_t opened;
    };
    const Case cases[] = {
        {"left click", {{Press, Qt::LeftButton}, {Release, Qt::LeftButton}}, 1},
        {"right click", {{Press, Qt::RightButton}, {Release, Qt::RightButton}}, 0},
        {"middle click", {{Press, Qt::MiddleButton}, {Release, Qt::MiddleButton}}, 0},
        {"pressed on the logo, released beside it", {{Press, Qt::LeftButton}, {Release, Qt::LeftButton, false}}, 0},
        {"pressed elsewhere, released over it", {{Release, Qt::LeftButton}}, 0},
        {"right press, left release", {{Press, Qt::RightButton}, {Release, Qt::LeftButton}}, 0},
        {"double click",
         {{Press, Qt::LeftButton}, {Release, Qt::LeftButton}, {DoubleClick, Qt::LeftButton}, {Release, Qt::LeftButton}},
         1},
        {"two clicks",
         {{Press, Qt::LeftButton}, {Release, Qt::LeftButton}, {Press, Qt::LeftButton}, {Release, Qt::LeftButton}},
         2},
    };
    MakeForm();
    auto* logo = Get<QLabel>("Image321");
    for (const Case& c : cases) {
        const size_t before = host.openedUrls().size();
        for (const MouseStep& step : c.steps) Deliver(logo, step);
        EXPECT_EQ(host.openedUrls().size() - before, c.opened) << c.what;
    }
}

TEST_F(StartupTest, AWindowSystemDoubleClickOnTheLogoOpensTheAddressOnce)
{
    MakeForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* logo = Get<QLabel>("Image321");
    const QPoint centre = logo->mapTo(form.get(), logo->rect().center());
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(host.openedUrls(), (std::vector<std::string>{kMakerWebAddress}));
}

TEST_F(StartupTest, ClosingTheWindowClosesThePort)
{
    OpenAdapter();
    MakeForm();
    ASSERT_TRUE(PortIsOpen());
    form.reset();
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(SerialChannel.portName, "COM3");
}

TEST_F(StartupTest, ClosingTheWindowWhileACommandWaitsForMessagesIsHarmless)
{
    OpenAdapter();
    MakeForm();  // no tick has ended yet, so READ waits the full 5000 ms for the watch
    int closes = 0;
    host.OnProcessMessages([&] {
        if (closes++ == 0) form->close();
    });
    const uint64_t start = host.NowMicros();
    form->BtnReadClick();
    EXPECT_GE(ElapsedMsSince(start), 5000u);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(Get<QPushButton>("BtnRead")->isEnabled());
    form.reset();
    EXPECT_FALSE(PortIsOpen());
}

TEST_F(StartupTest, AccessibleNamesOfPictureControlsAndListCaptions)
{
    MakeForm();
    EXPECT_EQ(Get("BitBtn1")->accessibleName(), "Select port for programming device");
    EXPECT_EQ(Get("Image321")->accessibleName(), kMakerWebAddress);
    EXPECT_EQ(Get<QLabel>("Label46")->buddy(), Get("CmbBoxRes"));
    EXPECT_EQ(Get<QLabel>("Label28")->buddy(), Get("CmbBoxFCTR"));
    EXPECT_EQ(Get<QLabel>("Label30")->buddy(), Get("CmbBoxDir"));
    EXPECT_TRUE(Get("LblPn")->accessibleName().isEmpty());  // labels are read by their text
    EXPECT_EQ(Get("BtnProg")->toolTipDuration(), 4000);
}

}  // namespace
