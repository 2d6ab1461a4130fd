// SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and the console window closing) ask
// a command that writes to stop. The handler only notes the first signal and says once that the
// command stops after the encoder in hand; the command looks at it where stopping leaves no
// encoder half-written, so sixteen blocks and their read-back always finish. Later signals are
// noted as the first was and do not cut the write short either.
#pragma once

namespace cli {

// Quiet: the stop is not told.
void InstallStopSignals(bool quiet);

// The first stop signal's number (SIGINT 2, SIGTERM 15, SIGHUP 1); 0 while none came.
int StopSignal();

}  // namespace cli
