#include "widgets/looks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QProxyStyle>

namespace looks {
namespace {
constexpr int kWindowFontPixels = 13;
constexpr int kButtonFontPixels = 11;

// The show delay of tool-tips is a style hint; everything else comes from the platform style.
class ToolTipTimingStyle : public QProxyStyle {
public:
    explicit ToolTipTimingStyle(int showMs) : showMs_(showMs) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay) return showMs_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    int showMs_;
};

QIcon TwoStateIcon(const QString& normal, const QString& disabled)
{
    QIcon icon(normal);
    icon.addPixmap(QPixmap(disabled), QIcon::Disabled);
    return icon;
}
}  // namespace

void ApplyWindowFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamilies({"MS Reference Sans Serif", "Verdana", "DejaVu Sans"});
    font.setPixelSize(kWindowFontPixels);
    widget->setFont(font);
}

void ApplyButtonFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setPixelSize(kButtonFontPixels);
    font.setBold(true);
    widget->setFont(font);
}

void MakeBold(QWidget* widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

void Paint(QWidget* panel, const QColor& colour)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

void SetPictures(QAbstractButton* prog, QAbstractButton* read, QAbstractButton* port, QLabel* logo)
{
    prog->setIcon(TwoStateIcon(":/pictures/prog.png", ":/pictures/prog_disabled.png"));
    read->setIcon(TwoStateIcon(":/pictures/read.png", ":/pictures/read_disabled.png"));
    prog->setIconSize({20, 20});
    read->setIconSize({20, 20});
    port->setIcon(QIcon(":/pictures/port.png"));
    port->setIconSize({21, 21});
    const QPixmap picture(":/pictures/logo.png");
    logo->setPixmap(picture.scaled(logo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void NameFromToolTip(QWidget* widget)
{
    widget->setAccessibleName(widget->toolTip());
}

void SetToolTipTimes(QWidget* window, int showMs, int hideMs)
{
    if (dynamic_cast<ToolTipTimingStyle*>(QApplication::style()) == nullptr)
        QApplication::setStyle(new ToolTipTimingStyle(showMs));
    for (QWidget* child : window->findChildren<QWidget*>())
        if (!child->toolTip().isEmpty()) child->setToolTipDuration(hideMs);
}

}  // namespace looks
