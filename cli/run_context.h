// Where a tarv-cli command writes, what time it is, and whether it has been asked to stop: the
// real ones in main, stand-ins in the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "cli/exit_codes.h"
#include "commands/iso_time.h"
#include "commands/json_lines.h"
#include "commands/wire_trace.h"
#include "platform/durable_files.h"
#include "platform/host.h"

namespace cli {

struct RunContext {
    std::ostream& out;  // the command's result: text or JSON
    std::ostream& err;  // tarv-cli's own messages; the link's message boxes go through the host
    std::function<int64_t()> unixSecondsNow = commands::UnixSecondsNow;
    // The number of the signal that asked the command to stop; 0 while none has.
    std::function<int()> stopSignal = [] { return 0; };
    std::string tool = "tarv-cli";          // the program and its version, as every JSON object names them
    std::filesystem::path dataFolder = {};  // the image store's; empty: none could be told
    // Whether an encoder may be begun: false once a production line has done what it was asked.
    std::function<bool()> mayBegin = [] { return true; };
    // A host of its own for a port, for a production line that runs on several ports at once.
    std::function<std::unique_ptr<platform::Host>(const std::string& port)> hostFor = {};
    commands::WireTrace* trace = nullptr;  // --trace: every port's thread observes its wire into it
    commands::LineLog* log = nullptr;      // --log, once the command has checked it
    // Times the waits for another program's lock: the system's clock unless a test plays them.
    platform::Host* lockWaitClock = nullptr;
};

// The exit code of a command that ended with `code`, unless a stop signal ended it first.
inline int UnlessStopped(const RunContext& context, int code)
{
    const int signal = context.stopSignal();
    return signal != 0 ? ExitCodeOfSignal(signal) : code;
}

// Another program's lock on the journal or the --log, as tarv-cli waits for it (bounded): told on
// `err`. Before an encoder's first block nothing needs finishing, so a stop ends the wait at once;
// after it, the encoder's record is waited for as its write was.
inline platform::LockWait WaitBeforeWriting(RunContext& context)
{
    return {[&context](const std::string& what) { context.err << "tarv-cli: " << what << "\n" << std::flush; },
            [&context] { return context.stopSignal() != 0; }, context.lockWaitClock};
}
inline platform::LockWait WaitAfterWriting(RunContext& context)
{
    return {[&context](const std::string& what) { context.err << "tarv-cli: " << what << "\n" << std::flush; }, {},
            context.lockWaitClock};
}

// Flushes both streams; false once either has failed a write (a reader that went away, a full disk).
inline bool StreamsWritten(RunContext& context)
{
    context.out.flush();
    context.err.flush();
    return !context.out.fail() && !context.err.fail();
}

}  // namespace cli
