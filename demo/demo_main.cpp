// The configurator with an emulated adapter and encoder built in: try everything without
// hardware. `--report-after MS` prints what the window shows after MS milliseconds and quits
// (used by the tests that start the demo); `--screenshot FILE` saves the window then as well, and
// `--port-dialog-screenshot FILE` the port dialog that the port button then opens.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Main_Tarv_Config.h"
#include "app/entry.h"
#include "demo/demo_host.h"

namespace {
int reportAfterMs = -1;
const char* screenshotPath = nullptr;
const char* portDialogPath = nullptr;

// Presses the port button and saves the dialog it opens, once it shows, then closes it.
void SavePortDialog(TForm1& form)
{
    QTimer::singleShot(500, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->grab().save(portDialogPath);
            dialog->close();
        }
    });
    form.BitBtn1Click();  // returns when the dialog is closed
}

void PrintLabels(TForm1& form)
{
    for (const char* name : {"LblPn", "LblSn", "LblMf", "LblLc", "StBar1Panel0"}) {
        const auto* label = form.findChild<QLabel*>(name);
        std::printf("%s=%s\n", name, label ? qPrintable(label->text()) : "");
    }
    std::fflush(stdout);
}

void ScheduleReport(TForm1& form)
{
    if (reportAfterMs < 0) return;
    QTimer::singleShot(reportAfterMs, &form, [&form] {
        PrintLabels(form);
        if (screenshotPath != nullptr) form.grab().save(screenshotPath);
        if (portDialogPath != nullptr) SavePortDialog(form);
        QCoreApplication::quit();
    });
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--report-after") == 0)
            reportAfterMs = static_cast<int>(std::strtol(argv[i + 1], nullptr, 10));
        if (std::strcmp(argv[i], "--screenshot") == 0) screenshotPath = argv[i + 1];
        if (std::strcmp(argv[i], "--port-dialog-screenshot") == 0) portDialogPath = argv[i + 1];
    }
    DemoHost host;
    // The emulated encoders are nobody's: their images are kept only where TARV_DATA_DIR asks.
    const char* dataFolder = std::getenv("TARV_DATA_DIR");
    return RunConfigurator(app, host, "tarv-configurator-demo", dataFolder != nullptr ? dataFolder : "",
                           ScheduleReport);
}
