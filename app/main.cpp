// Tarv Configurator: reads and programs linear encoders through the programming adapter.
#include <QApplication>

#include "app/entry.h"
#include "commands/image_store.h"
#include "platform/qt_host.h"

using namespace commands;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::QtHost host;
    return RunConfigurator(app, host, "tarv-configurator", store::DataFolder());
}
