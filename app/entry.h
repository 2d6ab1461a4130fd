// The program's entry, shared by the real program and the demo: install the host, build the
// main window (which runs start-up), create the port dialog hidden, and run the message loop.
#pragma once

#include <filesystem>
#include <string>

class QApplication;

namespace platform {
class Host;
}

class TForm1;

// Builds the windows on `host` and calls `ready` (when given) just before the loop runs. Every
// encoder's memory is kept in `dataFolder` before the window writes to it (none kept when it is
// empty), a store that cannot be written told on standard error as `programName`; TARV_TRACE
// names a file for a trace of the wire.
int RunConfigurator(QApplication& app, platform::Host& host, const std::string& programName,
                    const std::filesystem::path& dataFolder, void (*ready)(TForm1&) = nullptr);
