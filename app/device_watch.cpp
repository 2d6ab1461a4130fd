// The device watch: every tick checks the adapter, searches for it when it is gone, and keeps
// the buttons, the status text and the product labels in step with the encoder.
#include <QLabel>
#include <algorithm>

#include "app/Main_Tarv_Config.h"
#include "app/timer_pause.h"
#include "commands/device_watch.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"

using namespace commands;

namespace {
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

// WatchIdle is false from the start of a tick to its very end, after the timer is given back.
class TickUnderWay {
public:
    TickUnderWay() { DeviceModel.WatchIdle = false; }
    ~TickUnderWay() { DeviceModel.WatchIdle = true; }
    TickUnderWay(const TickUnderWay&) = delete;
    TickUnderWay& operator=(const TickUnderWay&) = delete;
};
}  // namespace

void TForm1::Timer1Timer()
{
    const TickUnderWay tick;
    const TimerPause pause(*Timer1);
    // Chosen before the ping and any search; the timer counts again only once the tick is over,
    // so the next tick comes one interval after this one ends.
    Timer1->setInterval(WatchIntervalMs());
    KeepAdapter(SearchAndBlink);
    if (SerialChannel.portName.empty()) {
        ShowAdapterState(false);
        return;
    }
    ShowAdapterState(true);
    const ProductSighting sighting = SightProduct();
    if (sighting.model < 0) {
        ShowPlaceholders();
        return;
    }
    SetLabel(ui->LblPn, kProductModelNames[sighting.model]);
    if (LoadOnFirstSight(sighting)) {
        FillSettingLists();
        ShowSettings();
    }
    ShowRecordLabels();
}

void TForm1::ShowAdapterState(bool portInUse)
{
    ui->BtnProg->setEnabled(portInUse);
    ui->BtnRead->setEnabled(portInUse);
    SetStatusText(portInUse ? QString::fromStdString("Programming device on " + SerialChannel.portName)
                            : QString("No programming device connected"));
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
