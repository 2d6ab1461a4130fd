#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

#ifdef _WIN32
#include "platform/win32_api.h"
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

// Lock-free atomics: read by every port's thread and written in the signal's own context.
std::atomic<int> firstSignal{0};
std::atomic<int> tellStopping{1};
std::atomic<int> encodersInHand{0};  // over all ports
thread_local bool inHandHere = false;  // this thread's port
thread_local bool stopToldHere = false;  // for the encoder in hand


// Called in the signal's own context: only async-signal-safe work.
void NoteStop(int signal)
{
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, signal)) return;
    if (!tellStopping || encodersInHand == 0) return;
#ifdef _WIN32
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStopping.data(), static_cast<DWORD>(kStopping.size()), &written,
              nullptr);
#else
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kStopping.data(), kStopping.size());
#endif
}

#ifdef _WIN32
constexpr int kHangUp = 1;  // what a closed terminal is on POSIX: SIGHUP

// Runs on a thread of its own. Returning from a close, logoff or shutdown event ends the process
// at once, so the handler waits there; the main thread finishes the encoder and exits, and Windows
// ends the process anyway after its own limit (five seconds for a closed console).
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        NoteStop(SIGINT);
        return TRUE;
    case CTRL_BREAK_EVENT:
        NoteStop(SIGTERM);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        NoteStop(kHangUp);
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}
#endif

}  // namespace

void InstallStopSignals(bool quiet)
{
    tellStopping = quiet ? 0 : 1;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the port's reads and writes go on as if nothing happened
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

int StopSignal()
{
    return firstSignal;
}

EncoderInHand::EncoderInHand()
{
    inHandHere = true;
    stopToldHere = false;
    ++encodersInHand;
}

EncoderInHand::~EncoderInHand()
{
    --encodersInHand;
    inHandHere = false;
}

bool AnEncoderIsInHand()
{
    return inHandHere;
}

bool StopUntoldHere()
{
    if (!inHandHere || stopToldHere) return false;
    stopToldHere = true;
    return true;
}

}  // namespace cli
