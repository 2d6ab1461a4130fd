#include <gtest/gtest.h>

#include "gui/form_fixture.h"
#include "support/frames.h"

namespace {

using WatchTest = FormTest;
using sim::AdapterOptions;
using sim::RequestKind;

TEST_F(WatchTest, FirstSightOfAFamilyBProductLoadsTheMemoryAndFillsItsLists)
{
    auto adapter = AddAdapter("COM3", sim::Format2Image(Encoder("KV26"), sim::MakeConfigBlock(0x12, false, 5)));
    MakeForm();
    adapter->ClearLog();
    form->Timer1Timer();

    EXPECT_EQ(Text("LblPn"), "KV26");
    EXPECT_EQ(Text("LblSn"), "SN7788");
    EXPECT_EQ(Text("LblMf"), "17.05.2013");
    EXPECT_EQ(Text("LblLc"), "08.01.2014");
    EXPECT_EQ(Status(), "Programming device on COM3");
    std::vector<Bytes> frames = {{0x5A, 0x01, 0x00, 0x00}, {0x55, 0xA1, 73, 4}};
    for (const Bytes& read : WholeReadFrames()) frames.push_back(read);
    EXPECT_EQ(adapter->Frames(), frames);
    const auto* resolution = Get<QComboBox>("CmbBoxRes");
    EXPECT_EQ(resolution->itemText(0), QString::fromUtf8("13B (8192)= 0.6103 \u00B5m"));
    EXPECT_EQ(resolution->currentIndex(), 6);
    EXPECT_EQ(Rows(Get<QComboBox>("CmbBoxDir")), (QStringList{"Positive", "Negative"}));
    EXPECT_EQ(Get<QComboBox>("CmbBoxDir")->currentText(), "Positive");
    EXPECT_EQ(Get<QComboBox>("CmbBoxFCTR")->count(), 10);
    EXPECT_EQ(Get<QComboBox>("CmbBoxFCTR")->currentIndex(), 3);
    EXPECT_TRUE(DeviceModel.WatchIdle);
    EXPECT_TRUE(form->Timer1->isActive());

    // A later sight of the same product only refreshes the labels.
    adapter->ClearLog();
    form->Timer1Timer();
    EXPECT_EQ(adapter->Frames(), (std::vector<Bytes>{{0x5A, 0x01, 0x00, 0x00}, {0x55, 0xA1, 73, 4}}));
}

TEST_F(WatchTest, UnknownNameGivesPlaceholdersAndClearsTheModel)
{
    auto adapter = OpenAdapter(sim::Format2Image(Encoder("kv24")));
    MakeForm();
    DeviceModel.ProductFamilyFlags[KV24] = 1;
    form->Timer1Timer();
    EXPECT_EQ(Text("LblPn"), ".....");
    EXPECT_EQ(Text("LblSn"), ".....");
    EXPECT_EQ(Text("LblMf"), "......");
    EXPECT_EQ(Text("LblLc"), "......");
    EXPECT_EQ(AsBytes(DeviceModel.ProductFamilyFlags), Bytes(5, 0));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(WatchTest, PingAnswersBelowThreeSearchAgain)
{
    struct Case {
        uint8_t answer;
        bool keepsPort;
    };
    const Case cases[] = {{0, false}, {1, false}, {2, false}, {3, true}};
    for (const auto& c : cases) {
        AdapterOptions options;
        options.presenceAnswer = c.answer;
        auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image(), options);
        ConnectAdapter("COM3", adapter);
        host.SetListing({{"COM3"}, false});
        MakeForm();  // start-up's scan does not take an adapter below 4
        OpenPort("COM3");
        DeviceModel.ProductFamilyFlags[KV24] = 1;
        adapter->ClearLog();
        form->Timer1Timer();
        EXPECT_EQ(SerialChannel.portName, c.keepsPort ? "COM3" : "") << int{c.answer};
        EXPECT_EQ(Status(), c.keepsPort ? "Programming device on COM3" : "No programming device connected");
        EXPECT_EQ(Get<QPushButton>("BtnProg")->isEnabled(), c.keepsPort);
        // A search pings the port once more before giving up on it.
        EXPECT_EQ(adapter->FramesOf(RequestKind::Presence).size(), c.keepsPort ? 1u : 2u);
        form.reset();
    }
}

TEST_F(WatchTest, LosingTheAdapterKeepsTheLabelsAndSlowsTheWatch)
{
    auto adapter = OpenAdapter();
    MakeFormWithAdapterSeen();
    ASSERT_EQ(Text("LblPn"), "KV24");
    adapter->options().unplugged = true;

    form->Timer1Timer();  // began with a port: still 500 ms
    EXPECT_EQ(form->Timer1->interval(), 500);
    EXPECT_EQ(Status(), "No programming device connected");
    EXPECT_FALSE(Get<QPushButton>("BtnRead")->isEnabled());
    EXPECT_EQ(Text("LblPn"), "KV24");
    EXPECT_EQ(Text("LblSn"), "AB1234");

    form->Timer1Timer();  // began without a port: 3000 ms
    EXPECT_EQ(form->Timer1->interval(), 3000);

    adapter->options().unplugged = false;
    form->Timer1Timer();  // finds it again, but the interval was chosen before the search
    EXPECT_EQ(form->Timer1->interval(), 3000);
    EXPECT_EQ(Status(), "Programming device on COM3");
    form->Timer1Timer();
    EXPECT_EQ(form->Timer1->interval(), 500);
}

TEST_F(WatchTest, AnotherKnownProductWithoutATickBetweenGetsNoMemoryRead)
{
    auto adapter = OpenAdapter(sim::Format2Image(Encoder("KV21")));
    MakeFormWithAdapterSeen();
    adapter->memory() = sim::Format2Image(Encoder("HXD6"));
    adapter->ClearLog();
    form->Timer1Timer();
    EXPECT_EQ(Text("LblPn"), "HXD6");
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromRead).size(), 1u);
    EXPECT_EQ(DeviceModel.ProductFamilyFlags[KV21], 1);
    EXPECT_EQ(DeviceModel.ProductFamilyFlags[HXD6], 1);
}

TEST_F(WatchTest, ZeroFieldsShowAsEmptyAndDayZero)
{
    auto adapter = OpenAdapter();
    MakeForm();
    DeviceModel.ProductFamilyFlags[KV24] = 1;  // seen before: no memory read
    form->Timer1Timer();
    EXPECT_EQ(Text("LblSn"), "");
    EXPECT_EQ(Text("LblMf"), "30.12.1899");
}

// Rendered as a plain-text label with the same font would render it, not as markup.
bool ShownAsPlainText(const QLabel* label)
{
    QLabel plain;
    plain.setFont(label->font());
    plain.setTextFormat(Qt::PlainText);
    plain.setText(label->text());
    return label->sizeHint() == plain.sizeHint();
}

TEST_F(WatchTest, DeviceTextsDatesAndPortNamesAreShownAsTheyAre)
{
    auto encoder = Encoder("KV24");
    encoder.serial = "<b>X12";
    host.SetShortDateFormatter([](int32_t) { return std::string("<u>8.1.2014</u>"); });
    AddAdapter("<i>COM3", sim::Format2Image(encoder));
    MakeForm();
    form->Timer1Timer();

    EXPECT_EQ(Text("LblSn"), "<b>X12");
    EXPECT_EQ(Text("LblMf"), "<u>8.1.2014</u>");
    EXPECT_EQ(Status(), "Programming device on <i>COM3");
    for (const char* name : {"LblSn", "LblMf", "LblLc", "StBar1Panel0"})
        EXPECT_TRUE(ShownAsPlainText(Get<QLabel>(name))) << name;
}

TEST_F(WatchTest, ANameReadFailureIsReportedAndGivesPlaceholders)
{
    AdapterOptions options;
    options.shortReadBy = 1;
    OpenAdapter(sim::Format2Image(), options);
    MakeForm();
    form->Timer1Timer();
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"False communication with EEPROM 1", "ERROR"}}));
    EXPECT_EQ(Text("LblPn"), ".....");
}

TEST_F(WatchTest, CommandsWaitForAHalfDoneTick)
{
    AdapterOptions options;
    options.presenceAnswer = 0;  // the tick searches, finds the adapter on COM4 and blinks it
    OpenAdapter(sim::Format2Image(), options);
    MakeForm();
    OpenPort("COM3");
    AddAdapter("COM4");
    DeviceModel.WatchIdle = true;

    bool readRan = false;
    uint64_t readStart = 0;
    host.OnProcessMessages([&] {
        if (readRan) return;
        readRan = true;
        readStart = host.NowMicros();
        form->BtnReadClick();  // the user clicks READ while the blink pauses
    });
    form->Timer1Timer();
    host.OnProcessMessages(nullptr);
    EXPECT_TRUE(readRan);
    EXPECT_GE((host.NowMicros() - readStart) / 1000, 5000u);
    EXPECT_TRUE(form->Timer1->isActive());  // the resumed tick gave the timer back
    EXPECT_TRUE(DeviceModel.WatchIdle);
}

}  // namespace
