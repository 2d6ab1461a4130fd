#include "app/entry.h"

#include <QApplication>
#include <QIcon>

#include "app/Main_Tarv_Config.h"
#include "app/placement.h"
#include "app/quit_on_signals.h"
#include "dialogs/COM_List.h"
#include "platform/host.h"

int RunConfigurator(QApplication& app, platform::Host& host, void (*ready)(TForm1&))
{
    platform::Install(host);
    QApplication::setApplicationName("Tarv_Configurator");
    QGuiApplication::setDesktopFileName("tarv-configurator");
    QApplication::setWindowIcon(QIcon(":/pictures/tarv-configurator.png"));
    QuitOnTerminationSignals();

    TForm1 form1;                      // start-up runs here, before any window is visible
    auto* form2 = new TForm2(&form1);  // hidden until the port button needs it; owned by form1
    form1.SetPortDialog(form2);

    CentreOnDesktop(form1);
    form1.show();
    if (ready != nullptr) ready(form1);
    return app.exec();
    // Leaving the scope destroys the main window, which closes the port.
}
