// SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and the console window closing) ask
// a command that writes to stop. The handler only notes the first signal and, while an encoder is
// in hand, says once that the command stops after it; the command looks at it where stopping
// leaves no encoder half-written, so sixteen blocks and their read-back always finish. Before the
// first block, no further request goes out and the command ends. Later signals are noted as the
// first was and do not cut the write short either.
#pragma once

#include <string_view>

namespace cli {

// What a stop with an encoder in hand says, a line of its own.
inline constexpr std::string_view kStopping = "tarv-cli: stopping after this encoder\n";

// Quiet: the stop is not told by the handler (a line of several ports tells it on each port's
// own line instead, see StopUntoldHere).
void InstallStopSignals(bool quiet);

// The first stop signal's number (SIGINT 2, SIGTERM 15, SIGHUP 1); 0 while none came.
int StopSignal();

// From the first block sent to an encoder until its read-back: a stop waits for the encoder in
// hand (and says so). Outside it, a stop sends no further request: the command ends once the
// answer already asked for is in (or its deadline has passed), and leaves a quiet line. Each
// port's thread has its own encoder in hand; the handler tells the stop once while any port has
// one (a line of several ports tells it on the line of each such port instead).
class EncoderInHand {
public:
    EncoderInHand();
    ~EncoderInHand();
    EncoderInHand(const EncoderInHand&) = delete;
    EncoderInHand& operator=(const EncoderInHand&) = delete;
};
bool AnEncoderIsInHand();  // on the calling thread's port

// True once for the encoder in hand on the calling thread's port, for a port that tells a stop
// itself, naming its port: the handler's one line cannot say which ports have an encoder in hand.
bool StopUntoldHere();

}  // namespace cli
