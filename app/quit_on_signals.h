#pragma once

// SIGTERM and SIGINT end the message loop like closing the main window does, so the program
// still closes its port on the way out.
void QuitOnTerminationSignals();
