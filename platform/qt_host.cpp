#include "platform/qt_host.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QLocale>
#include <QMessageBox>
#include <QUrl>

#include "model/day_number.h"

namespace platform {

std::string QtHost::FormatShortDate(int32_t dayNumber)
{
    const CivilDate civil = DateFromDayNumber(dayNumber);
    const QDate date(civil.year, civil.month, civil.day);
    return QLocale::system().toString(date, QLocale::ShortFormat).toStdString();
}

void QtHost::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtHost::ShowMessage(const std::string& text, const std::string& title, Severity)
{
    // Every box shows the same warning icon, whatever its severity: the window has always shown them so.
    // Owned by the active window so it is modal to it and centred on it, like the program's
    // own dialogs; with no window yet (during start-up) it stands alone.
    // Texts break their lines with CR LF; a label wants plain line feeds.
    const QString shown = QString::fromStdString(text).replace("\r\n", "\n");
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), shown, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtHost::OpenUrl(const std::string& url)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace platform
