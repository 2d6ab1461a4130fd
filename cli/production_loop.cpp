// The production line's loop on one port. It polls as the window's watch does (but every 100 ms
// while the adapter answers, so that an encoder put on is noticed at once), programs each encoder
// once, and waits for that encoder to be taken off before the next. Every encoder that answers
// gets one line; one whose product is unknown is told once and left as it is.
#include "cli/production_loop.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <utility>

#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/port_connection.h"
#include "cli/quiet_host.h"
#include "commands/device_watch.h"
#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"

using namespace commands;

namespace cli {
namespace {

// A stop request is noticed within this long, also during the 3 s pauses without an adapter.
constexpr uint32_t kRestSliceMs = 50;
// Between two polls of an adapter that answers: an encoder put on is begun within this long.
constexpr uint32_t kPollIntervalMs = 100;

enum class Station {
    Starting,
    Searching,  // the adapter does not answer
    Held,       // the port named is in use by another program
    Waiting,    // for an encoder not done yet
    Faulty,     // an encoder answers, but with the wrong length
    Present,    // the encoder done last is still on the adapter
};

// Runs a step of a poll with the link's message boxes dropped: an empty adapter fails its read on
// every tick, and the loop tells its changes of station itself.
template <typename Step>
auto Quietly(Step step)
{
    QuietHost quiet(platform::host());
    const platform::ScopedHost installed(quiet);
    return step();
}

class ProductionLoop {
public:
    ProductionLoop(const CliOptions& options, RunContext& context, EncoderStep step, LineShare& share,
                   bool waitForPort)
        : options_(options), context_(context), step_(std::move(step)), share_(share), waitForPort_(waitForPort)
    {
    }

    PortTally Run()
    {
        const PortInUse port;
        if (!Connect()) {
            tally_.started = false;
            tally_.exitCode = AsInt(ExitCode::NoAdapter);
            return tally_;
        }
        while (!Ended() && !Poll())
            Rest(station_ == Station::Searching || station_ == Station::Held
                     ? static_cast<uint32_t>(kWatchIntervalWithoutPortMs)
                     : kPollIntervalMs);
        return tally_;
    }

private:
    bool Ended() const { return context_.stopSignal() != 0 || share_.ended; }

    // An adapter that does not answer yet is waited for; only a named port that does not open
    // ends the command (unless the line waits for its ports).
    bool Connect()
    {
        if (options_.port.empty()) {
            Enter(Quietly([] { return ScanForAdapter(); }) ? Station::Waiting : Station::Searching);
            return true;
        }
        const int tried = Quietly([this] { return TryNamedPort(); });
        // Tried again aloud, to tell why it does not open.
        if (tried == kPortDidNotOpen && !waitForPort_ && ConnectAdapter(options_.port, context_) != ExitCode::Done)
            return false;
        Enter(tried == kAdapterAnswered ? Station::Waiting : Lost());
        return true;
    }

    // One tick; true when the loop is done: --count encoders programmed, or a record not written.
    bool Poll()
    {
        const bool adapter = Quietly([this] { return KeepAdapterPort([this] { SearchAgain(); }); });
        if (context_.stopSignal()) return true;  // what the poll saw may be a request left unsent
        if (!adapter) {
            // The encoder done last stays done: an adapter that comes back with it has nothing new.
            Enter(Lost());
            return false;
        }
        const std::optional<EncoderIdentity> onAdapter = EncoderOnAdapter();
        if (context_.stopSignal()) return true;
        // A fault of the encoder or its cable, not an empty adapter; nor is the encoder done taken
        // off by it: read cleanly again, it is still the one done.
        if (!onAdapter && LastReadFailure() == ReadFailure::WrongLength) {
            Enter(Station::Faulty);
            return false;
        }
        // Taken off: no encoder answers, or another one does.
        if (done_ && (!onAdapter || !SameEncoder(*onAdapter, *done_))) done_.reset();
        Enter(done_ ? Station::Present : Station::Waiting);
        if (done_ || !onAdapter) return false;
        if (context_.out.fail() || context_.err.fail()) {
            // Nobody hears of the next encoder: it is left as it is.
            if (tally_.exitCode == 0) tally_.exitCode = AsInt(ExitCode::RecordNotWritten);
            share_.ended = true;
            return true;
        }
        return Program();
    }

    // Where the line looks for a lost adapter: on every port, or on the one it was given.
    void SearchAgain()
    {
        if (options_.port.empty())
            ScanForAdapter();
        else
            TryNamedPort();
    }

    // Tries the port given, noting whether another program holds it.
    int TryNamedPort()
    {
        const int tried = TryPort(SplitPortArgument(options_.port).name);
        portHeld_ = tried == kPortDidNotOpen && LastOpenFailure() == platform::PortOpenFailure::InUse;
        return tried;
    }

    // Where a port without an answering adapter stands: held by another program, or searched.
    Station Lost() const { return portHeld_ ? Station::Held : Station::Searching; }

    // The encoder on the adapter, from one read of its record's head; none when the read failed
    // (LastReadFailure tells whether none answered).
    static std::optional<EncoderIdentity> EncoderOnAdapter()
    {
        std::array<uint8_t, kIdentitySize> head{};
        if (Quietly([&head] { return ReadEepromBlock(kIdentityAddress, kIdentitySize, head); }) == 0)
            return std::nullopt;
        return IdentityOfRecordHead(head);
    }

    bool Program()
    {
        const EncoderDone done = step_([this](const EncoderIdentity& identity) {
            // The encoder done is the one that the step read, whatever came on after that read.
            // Noted before the line goes out: whoever reads it may put the next encoder on at once.
            done_ = identity;
            Enter(Station::Present);
        });
        if (done.abandoned) return true;
        // A failed read leaves the loop waiting for an encoder it has not done: the same one is
        // done once it reads cleanly. Any other ending is this encoder's, until it goes.
        Tally(done.code);
        if (!done.recorded || done.code == ExitCode::RecordNotWritten) {
            // An encoder without its record (or its image) ends the line on every port: the ones
            // after it would have none either.
            tally_.recordLost = tally_.recordLost || !done.recorded;
            if (tally_.exitCode == 0) tally_.exitCode = AsInt(ExitCode::RecordNotWritten);
            share_.ended = true;
            return true;
        }
        if (done.code == ExitCode::Done && share_.count > 0 && ++share_.doneOk >= share_.count) share_.ended = true;
        return share_.ended;
    }

    void Tally(ExitCode code)
    {
        ++tally_.results[code];
        if (code != ExitCode::Done) tally_.exitCode = AsInt(code);
    }

    // Says what the line waits for as it changes; the polls themselves stay silent. The port waits
    // for the next encoder after each one without a word: a busy line says it once, at its start
    // or once its adapter is found again.
    void Enter(Station station)
    {
        if (station == station_) return;
        const Station left = std::exchange(station_, station);
        if (options_.quiet) return;
        const std::string port = options_.port.empty() ? std::string("the ports") : options_.port;
        const std::string label = PortLabel(options_.port);
        const int everySeconds = kWatchIntervalWithoutPortMs / 1000;
        const bool foundAgain = left == Station::Searching || left == Station::Held;
        if (left == Station::Held) context_.err << "tarv-cli: " << port << " is no longer in use by another program\n";
        if (station == Station::Searching)
            context_.err << "tarv-cli: the adapter does not answer; searching " << port << " every " << everySeconds
                         << " s\n";
        if (station == Station::Held)
            context_.err << "tarv-cli: " << port << " is in use by another program; trying it again every "
                         << everySeconds << " s\n";
        if (station == Station::Waiting && (foundAgain || left == Station::Starting))
            context_.err << "tarv-cli: waiting for an encoder on " << label << "\n";
        if (station == Station::Present && foundAgain)
            context_.err << "tarv-cli: the adapter answers again on " << label << ", with the encoder done still on it\n";
        if (station == Station::Faulty)
            context_.err << "tarv-cli: " << ReadFailureText(options_.port, ReadFailure::WrongLength) << "\n";
        context_.err << std::flush;
    }

    void Rest(uint32_t ms)
    {
        platform::Host& host = platform::host();
        for (uint32_t slept = 0; slept < ms && !Ended(); slept += kRestSliceMs)
            host.Sleep(std::min(kRestSliceMs, ms - slept));
    }

    const CliOptions& options_;
    RunContext& context_;
    EncoderStep step_;
    LineShare& share_;
    bool waitForPort_;
    Station station_ = Station::Starting;
    bool portHeld_ = false;  // the last try of the port given found it in use by another program
    std::optional<EncoderIdentity> done_;  // the encoder done last, until it is taken off
    PortTally tally_;
};

}  // namespace

PortTally RunPortLoop(const CliOptions& options, RunContext& context, const EncoderStep& step, LineShare& share,
                      bool waitForPort)
{
    return ProductionLoop(options, context, step, share, waitForPort).Run();
}

std::string TallyText(const PortTally& tally)
{
    int ok = 0;
    int failed = 0;
    std::string byResult;
    for (const auto& [code, count] : tally.results) {
        if (code == ExitCode::Done) {
            ok = count;
            continue;
        }
        failed += count;
        byResult += (byResult.empty() ? "" : ", ") + std::to_string(count) + " " + ResultWord(code);
    }
    return std::to_string(ok) + " ok, " + std::to_string(failed) + " failed" +
           (byResult.empty() ? "" : " (" + byResult + ")") +
           (tally.recordLost ? "; the last encoder's record could not be written" : "");
}

}  // namespace cli
