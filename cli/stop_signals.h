// SIGINT and SIGTERM (and Ctrl+Break on Windows) ask `program --each` to stop: the handler only
// sets a flag, which the loop looks at between its polls, so an encoder being written is finished.
#pragma once

namespace cli {

void InstallStopSignals();
bool StopRequested();

}  // namespace cli
