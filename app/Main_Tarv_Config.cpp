// The main window's construction, start-up, keys, logo and exit.
#include "app/Main_Tarv_Config.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "app/left_click.h"
#include "commands/device_watch.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"
#include "ui_Main_Tarv_Config.h"
#include "widgets/looks.h"

using namespace commands;

namespace {
constexpr int kKeyP = 0x50;
constexpr int kKeyR = 0x52;
constexpr int kToolTipShowMs = 100;
constexpr int kToolTipHideMs = 4000;
constexpr int kStatusPanelWidth = 180;
}  // namespace

std::string ProgramVersionString()
{
    return platform::host().VersionString();
}

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kWatchIntervalWithPortMs);
    SetUpLooks();
    ConnectHandlers();
    qApp->installEventFilter(this);
    Timer1->start();  // the window is built with its timer running; start-up stops it first
    FormCreate();
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TForm1::SetUpLooks()
{
    setFixedSize(397, 296);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    looks::ApplyWindowFont(this);
    for (QWidget* button : {static_cast<QWidget*>(ui->BtnProg), static_cast<QWidget*>(ui->BtnRead)})
        looks::ApplyButtonFont(button);
    // Device bytes, dates and port names are shown as they are; markup in them is never rendered.
    for (QLabel* value : {ui->LblPn, ui->LblSn, ui->LblMf, ui->LblLc}) {
        looks::MakeBold(value);
        value->setTextFormat(Qt::PlainText);
    }
    looks::Paint(ui->Panel1, Qt::white);
    looks::Paint(ui->Panel2, Qt::white);
    looks::Paint(ui->Panel5, Qt::white);
    looks::Paint(ui->Panel6, QColor(247, 147, 30));
    looks::Paint(ui->Panel7, QColor(192, 192, 192));
    looks::SetPictures(ui->BtnProg, ui->BtnRead, ui->BitBtn1, ui->Image321);
    ui->Image321->setToolTip(kMakerWebAddress);
    looks::NameFromToolTip(ui->BitBtn1);
    looks::NameFromToolTip(ui->Image321);
    ui->Label46->setBuddy(ui->CmbBoxRes);
    ui->Label28->setBuddy(ui->CmbBoxFCTR);
    ui->Label30->setBuddy(ui->CmbBoxDir);
    FillStartRows();

    statusPanel_ = new QLabel(ui->StBar1);
    statusPanel_->setObjectName("StBar1Panel0");
    statusPanel_->setTextFormat(Qt::PlainText);  // it shows the port name
    // The only panel is also the last: it is 180 pixels wide at least and, like the last part of
    // a native status bar, runs on to the bar's end, so a long port name is not cut off.
    statusPanel_->setMinimumWidth(kStatusPanelWidth);
    ui->StBar1->addWidget(statusPanel_, 1);
    SizeLabelsToText();
}

void TForm1::ConnectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(ui->BtnProg, &QPushButton::clicked, this, &TForm1::BtnProgClick);
    connect(ui->BtnRead, &QPushButton::clicked, this, &TForm1::BtnReadClick);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    // `activated` fires on the user's picks only, never on a selection made from code.
    connect(ui->CmbBoxRes, &QComboBox::activated, this, &TForm1::CmbBoxResChange);
    connect(ui->CmbBoxFCTR, &QComboBox::activated, this, &TForm1::CmbBoxFCTRChange);
    connect(ui->CmbBoxDir, &QComboBox::activated, this, &TForm1::CmbBoxDirChange);
    new LeftClickFilter(ui->Image321, [this] { Image321Click(); });  // owned by the logo
}

void TForm1::FormCreate()
{
    Timer1->stop();
    LayOutHeader();
    setWindowTitle(QString::fromStdString("Tarv Configurator (Ver. " + ProgramVersionString() + ")"));

    DeviceModel.FormatVersion = 0;
    ClearRecordFields();
    DeviceModel.DeviceTag = kStartDeviceTag;

    looks::SetToolTipTimes(this, kToolTipShowMs, kToolTipHideMs);

    PortList.clear();
    const bool found = ScanForAdapter();
    if (found) BlinkAdapter(2, 20);
    ui->BtnProg->setEnabled(found);
    ui->BtnRead->setEnabled(found);
    Timer1->start();
}

void TForm1::LayOutHeader()
{
    const int clientWidth = width();
    ui->Panel1->setGeometry(0, 0, clientWidth, ui->Panel1->height());
    ui->Panel6->setGeometry(0, ui->Panel1->y() + ui->Panel1->height(), clientWidth, 8);
    ui->Panel7->setGeometry(0, ui->Panel6->y() + ui->Panel6->height(), clientWidth, 2);
    // Keep the header's right-hand parts at the right end of the stretched band.
    ui->Panel2->move(clientWidth - ui->Panel2->width(), 0);
    ui->Image321->move(ui->Panel2->x() - ui->Image321->width(), 0);
}

void TForm1::SizeLabelsToText()
{
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label == ui->Image321 || label == statusPanel_) continue;
        label->resize(label->sizeHint().width(), 16);
    }
}

void TForm1::FormDestroy()
{
    Timer1->stop();
    ClosePort();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees each key before the focused control: the first delivery of a key press
    // goes to the focused control (or the window itself), later ones are its propagation to parents.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        IsFirstStopOfKey(static_cast<QWidget*>(watched)))
        FormKeyDown(VirtualKeyOf(*static_cast<QKeyEvent*>(event), keyboard_));
    return QWidget::eventFilter(watched, event);  // the key goes on to the focused control
}

bool TForm1::IsFirstStopOfKey(const QWidget* widget) const
{
    // A dropped-down list is a pop-up window of its own, and it has the keyboard while it is open.
    if (const QWidget* popup = QApplication::activePopupWidget()) {
        const bool ours = popup->parentWidget() != nullptr && popup->parentWidget()->window() == this;
        return ours && widget == (popup->focusWidget() != nullptr ? popup->focusWidget() : popup);
    }
    if (widget->window() != this) return false;
    return widget == focusWidget() || (widget == this && focusWidget() == nullptr);
}

void TForm1::FormKeyDown(int virtualKey)
{
    if (virtualKey == kKeyP) BtnProgClick();
    if (virtualKey == kKeyR) BtnReadClick();
}

void TForm1::Image321Click()
{
    platform::host().OpenUrl(kMakerWebAddress);
}

void TForm1::SetStatusText(const QString& text)
{
    statusPanel_->setText(text);
}
