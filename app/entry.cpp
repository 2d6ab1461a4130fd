#include "app/entry.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/Main_Tarv_Config.h"
#include "app/placement.h"
#include "app/quit_on_signals.h"
#include "commands/iso_time.h"
#include "commands/wire_trace.h"
#include "commands/write_witness.h"
#include "dialogs/COM_List.h"
#include "platform/host.h"

using namespace commands;

namespace {
// The wire's trace that TARV_TRACE asks for; none when it is not set or the file does not open.
std::unique_ptr<WireTrace> TraceFromEnvironment()
{
    const char* path = std::getenv("TARV_TRACE");
    if (path == nullptr || *path == '\0') return nullptr;
    std::string error;
    auto trace = WireTrace::Start(path, "tarv-configurator " + platform::host().VersionString(), UnixSecondsNow(),
                                  error, [](const std::string& reason) {
                                      std::cerr << "tarv-configurator: TARV_TRACE: " << reason
                                                << "; the trace has a gap from here\n";
                                  });
    if (!trace) std::cerr << "tarv-configurator: TARV_TRACE: " << error << "\n";
    return trace;
}

// The window's witness: it keeps every encoder's memory in `dataFolder` before the window writes
// to it, and goes on when it cannot; none when there is no data folder.
std::optional<StoreWitness> WindowWitness(const std::filesystem::path& dataFolder, const std::string& programName)
{
    if (dataFolder.empty()) return std::nullopt;
    return std::optional<StoreWitness>(std::in_place, dataFolder, "window", WitnessVoice{std::cerr, programName});
}
}  // namespace

int RunConfigurator(QApplication& app, platform::Host& host, const std::string& programName,
                    const std::filesystem::path& dataFolder, void (*ready)(TForm1&))
{
    platform::Install(host);
    const std::unique_ptr<WireTrace> trace = TraceFromEnvironment();
    std::optional<StoreWitness> witness = WindowWitness(dataFolder, programName);  // outlives the window
    QApplication::setApplicationName("Tarv_Configurator");
    QGuiApplication::setDesktopFileName("tarv-configurator");
    QApplication::setWindowIcon(QIcon(":/pictures/tarv-configurator.png"));
    QuitOnTerminationSignals();

    TForm1 form1;  // start-up runs here, before any window is visible
    form1.SetWriteWitness(witness ? &*witness : nullptr);
    auto* form2 = new TForm2(&form1);  // hidden until the port button needs it; owned by form1
    form1.SetPortDialog(form2);

    CentreOnDesktop(form1);
    form1.show();
    if (ready != nullptr) ready(form1);
    return app.exec();
    // Leaving the scope destroys the main window, which closes the port.
}
