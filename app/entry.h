// The program's entry, shared by the real program and the demo: install the host, build the
// main window (which runs start-up), create the port dialog hidden, and run the message loop.
#pragma once

class QApplication;

namespace platform {
class Host;
}

class TForm1;

// Builds the windows on `host` and calls `ready` (when given) just before the loop runs.
int RunConfigurator(QApplication& app, platform::Host& host, void (*ready)(TForm1&) = nullptr);
