#include "dialogs/COM_List.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QRadioButton>
#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "ui_COM_List.h"
#include "widgets/looks.h"

namespace {
constexpr int kClientWidth = 236;
constexpr int kItemHeight = 22;
constexpr int kListTop = 4;
constexpr int kOkTop = 12;
constexpr int kButtonGap = 4;

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return !PortNameLess(a, b) && !PortNameLess(b, a);
}
}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm2>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    looks::ApplyWindowFont(this);
    setFixedSize(kClientWidth, height());
    group_ = new QButtonGroup(this);
    connect(ui->BtnOK, &QPushButton::clicked, this, &TForm2::BtnOKClick);
    connect(ui->BtnCancel, &QPushButton::clicked, this, &TForm2::BtnCancelClick);
}

TForm2::~TForm2() = default;

void TForm2::SetPorts(const std::vector<std::string>& names, const std::string& previous)
{
    for (QRadioButton* item : items_) delete item;
    items_.clear();
    // New items start unchecked; an exclusive group may show no selection until one is checked.
    for (const std::string& name : names) {
        auto* item = new QRadioButton(QString::fromStdString(name), ui->RgCOMlist);
        item->setGeometry(8, 18 + ItemCount() * kItemHeight, ui->RgCOMlist->width() - 16, kItemHeight - 2);
        group_->addButton(item, ItemCount());
        items_.push_back(item);
        item->show();
    }
    const auto match = std::find_if(names.begin(), names.end(),
                                    [&previous](const std::string& name) { return SameIgnoringCase(name, previous); });
    if (match != names.end()) items_[match - names.begin()]->setChecked(true);
    setFixedSize(kClientWidth, ItemCount() * kItemHeight + 30);
}

int TForm2::SelectedIndex() const
{
    const auto checked =
        std::find_if(items_.begin(), items_.end(), [](QRadioButton* item) { return item->isChecked(); });
    return checked == items_.end() ? -1 : static_cast<int>(checked - items_.begin());
}

void TForm2::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TForm2::FormActivate()
{
    ui->RgCOMlist->setGeometry(ui->RgCOMlist->x(), kListTop, ui->RgCOMlist->width(), ItemCount() * kItemHeight + 22);
    ui->BtnOK->move(ui->BtnOK->x(), kOkTop);
    ui->BtnCancel->move(ui->BtnCancel->x(), ui->BtnOK->y() + ui->BtnOK->height() + kButtonGap);
    const int minimum = ui->BtnCancel->y() + ui->BtnCancel->height() + kButtonGap;
    if (height() < minimum) setFixedSize(kClientWidth, minimum);
}

void TForm2::BtnOKClick()
{
    const int index = SelectedIndex();
    if (index >= 0) {
        const std::string name = items_[index]->text().toStdString();
        DeviceModel.ProductFamilyFlags[KV21] = 0;
        TryPort(name);
        OpenPort(name);
        if (PortIsOpen()) {
            SerialChannel.portName = name;
            BlinkAdapter(2, 20);
        }
    }
    done(QDialog::Accepted);
}

void TForm2::BtnCancelClick()
{
    done(QDialog::Rejected);
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // Neither button answers Escape or Enter; only a click decides.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
