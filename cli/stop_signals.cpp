#include "cli/stop_signals.h"

#include <csignal>

namespace cli {
namespace {
volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int signal)
{
    stopRequested = 1;
    std::signal(signal, OnStopSignal);  // Windows resets the handler before calling it
}
}  // namespace

void InstallStopSignals()
{
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#ifdef SIGBREAK
    std::signal(SIGBREAK, OnStopSignal);
#endif
}

bool StopRequested()
{
    return stopRequested != 0;
}

}  // namespace cli
