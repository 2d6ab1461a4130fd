// The device watch: every tick checks the adapter, searches for it when it is gone, and keeps
// the buttons, the status text and the product labels in step with the encoder.
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "app/Main_Tarv_Config.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"

namespace {
// The watch keeps a port whose adapter answers 3 or more; a new search takes one only at 4.
constexpr uint8_t kAdapterStillThere = 3;
constexpr uint8_t kProductNameAddress = 73;

// Device bytes as text, one character per byte code, ending at the first zero byte.
template <size_t N>
QString DeviceText(const std::array<uint8_t, N>& bytes)
{
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), end - bytes.begin());
}

QString DateText(const std::array<uint8_t, 4>& bytes)
{
    const QString text = QString::fromStdString(platform::host().FormatShortDate(DayNumberFromBytes(bytes)));
    return text.left(text.indexOf(QChar(0)));  // indexOf gives -1 when there is none: the whole text
}

void SetLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->resize(label->sizeHint().width(), label->height());
}

bool AnyFamilyFlagSet()
{
    const auto& flags = DeviceModel.ProductFamilyFlags;
    return std::any_of(flags.begin(), flags.end(), [](uint8_t flag) { return flag != 0; });
}
}  // namespace

void TForm1::Timer1Timer()
{
    DeviceModel.WatchIdle = false;
    const bool timerWasEnabled = Timer1->isActive();
    Timer1->stop();
    // Chosen from the state before the ping and any search; the timer counts again only once the
    // tick is over, so the next tick comes one interval after this one ends.
    Timer1->setInterval(SerialChannel.portName.empty() ? kWatchIntervalWithoutPort : kWatchIntervalWithPort);

    if (PingAdapter() < kAdapterStillThere) {
        ClearDeviceModel();
        if (ScanForAdapter()) BlinkAdapter(2, 20);
    }

    if (!SerialChannel.portName.empty()) {
        ui->BtnProg->setEnabled(true);
        ui->BtnRead->setEnabled(true);
        SetStatusText(QString::fromStdString("Programming device on " + SerialChannel.portName));

        std::array<uint8_t, 4> name{};
        ReadEepromBlock(kProductNameAddress, static_cast<uint8_t>(name.size()), name);
        const bool firstSight = !AnyFamilyFlagSet();
        bool known = false;
        for (int model = 0; model < kProductModelCount; ++model) {
            if (std::equal(name.begin(), name.end(), kProductModelNames[model])) {
                DeviceModel.ProductFamilyFlags[model] = 1;
                SetLabel(ui->LblPn, kProductModelNames[model]);
                known = true;
            }
        }
        if (known) {
            if (firstSight && ReadDeviceImage() == 1) {
                FillSettingLists();
                ShowSettings();
            }
            ShowRecordLabels();
        } else {
            ClearDeviceModel();
            ShowPlaceholders();
        }
    } else {
        ui->BtnProg->setEnabled(false);
        ui->BtnRead->setEnabled(false);
        SetStatusText("No programming device connected");
    }

    if (timerWasEnabled) Timer1->start();
    DeviceModel.WatchIdle = true;
}

void TForm1::ShowRecordLabels()
{
    SetLabel(ui->LblSn, DeviceText(DeviceModel.SerialNumber));
    SetLabel(ui->LblMf, DateText(DeviceModel.ManufacturedDate));
    SetLabel(ui->LblLc, DateText(DeviceModel.LastChangedDate));
}

void TForm1::ShowPlaceholders()
{
    SetLabel(ui->LblPn, ".....");
    SetLabel(ui->LblSn, ".....");
    SetLabel(ui->LblMf, "......");
    SetLabel(ui->LblLc, "......");
}

void TForm1::WaitWatchIdle()
{
    platform::Host& h = platform::host();
    const uint32_t start = h.TickCount();
    for (;;) {
        h.ProcessMessages();
        if (DeviceModel.WatchIdle) return;
        if (DeadlinePassed(start, h.TickCount(), kWatchIdleWaitMs)) return;
    }
}
