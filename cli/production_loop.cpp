// program --each: the production line's loop. It polls as the window's watch does, programs each
// encoder once, and waits for that encoder to be taken off before the next. Every encoder that
// answers gets one line; one whose product is unknown is told once and left as it is.
#include <algorithm>
#include <array>
#include <map>
#include <optional>

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

enum class Station {
    Starting,
    Searching,  // the adapter does not answer
    Waiting,    // for an encoder not done yet
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
    ProductionLoop(const CliOptions& options, RunContext& context, EncoderStep step)
        : options_(options), context_(context), step_(std::move(step))
    {
    }

    int Run()
    {
        {
            const PortInUse port;
            if (!Connect()) return AsInt(ExitCode::NoAdapter);
            while (!context_.stopSignal() && !Poll()) Rest(static_cast<uint32_t>(WatchIntervalMs()));
        }
        Summarize();
        if (const int signal = context_.stopSignal()) return ExitCodeOfSignal(signal);
        return exitCode_;
    }

private:
    // An adapter that does not answer yet is waited for; only a named port that does not open
    // ends the command.
    bool Connect()
    {
        if (options_.port.empty()) {
            Enter(Quietly([] { return ScanForAdapter(); }) ? Station::Waiting : Station::Searching);
            return true;
        }
        const int tried = Quietly([this] { return TryPort(SplitPortArgument(options_.port).name); });
        // Tried again aloud, to tell why it does not open.
        if (tried == -2 && ConnectAdapter(options_.port, context_) != ExitCode::Done) return false;
        Enter(tried == -1 ? Station::Searching : Station::Waiting);
        return true;
    }

    // One tick; true when the loop is done: --count encoders programmed, or a record not written.
    bool Poll()
    {
        const bool adapter = Quietly([this] { return KeepAdapterPort([this] { SearchAgain(); }); });
        if (context_.stopSignal()) return true;  // what the poll saw may be a wait given up
        if (!adapter) {
            // The encoder done last stays done: an adapter that comes back with it has nothing new.
            Enter(Station::Searching);
            return false;
        }
        const std::optional<EncoderIdentity> onAdapter = EncoderOnAdapter();
        if (context_.stopSignal()) return true;
        // Taken off: no encoder answers, or another one does.
        if (done_ && (!onAdapter || !SameEncoder(*onAdapter, *done_))) done_.reset();
        Enter(done_ ? Station::Present : Station::Waiting);
        if (done_ || !onAdapter) return false;
        if (context_.out.fail() || context_.err.fail()) {
            // Nobody hears of the next encoder: it is left as it is.
            if (exitCode_ == 0) exitCode_ = AsInt(ExitCode::RecordNotWritten);
            return true;
        }
        return Program();
    }

    // Where the line looks for a lost adapter: on every port, or on the one it was given.
    void SearchAgain() const
    {
        if (options_.port.empty())
            ScanForAdapter();
        else
            TryPort(SplitPortArgument(options_.port).name);
    }

    // The encoder on the adapter, from one read of its record's head; none when none answers.
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
        if (!done.recorded) recordLost_ = true;
        if (!done.recorded || done.code == ExitCode::RecordNotWritten) {
            // An encoder without its record (or its image) ends the run: the ones after it would
            // have none either.
            if (exitCode_ == 0) exitCode_ = AsInt(ExitCode::RecordNotWritten);
            return true;
        }
        return options_.count > 0 && results_[ExitCode::Done] >= options_.count;
    }

    void Tally(ExitCode code)
    {
        ++results_[code];
        if (code != ExitCode::Done) exitCode_ = AsInt(code);
    }

    // Says once what the line is waiting for; the polls themselves stay silent.
    void Enter(Station station)
    {
        if (station == station_) return;
        station_ = station;
        if (options_.quiet) return;
        const std::string port = options_.port.empty() ? std::string("the ports") : options_.port;
        if (station == Station::Searching)
            context_.err << "tarv-cli: the adapter does not answer; searching " << port << " every "
                         << kWatchIntervalWithoutPortMs / 1000 << " s\n";
        if (station == Station::Waiting)
            context_.err << "tarv-cli: waiting for an encoder on " << PortLabel(options_.port) << "\n";
        context_.err << std::flush;
    }

    // "3 ok, 2 failed (1 write-failed, 1 not-applicable)": what the run did, by result, and
    // whether the last encoder's record was lost.
    void Summarize()
    {
        if (options_.quiet) return;
        int failed = 0;
        std::string byResult;
        for (const auto& [code, count] : results_) {
            if (code == ExitCode::Done) continue;
            failed += count;
            byResult += (byResult.empty() ? "" : ", ") + std::to_string(count) + " " + ResultWord(code);
        }
        context_.err << "tarv-cli: " << results_[ExitCode::Done] << " ok, " << failed << " failed"
                     << (byResult.empty() ? "" : " (" + byResult + ")")
                     << (recordLost_ ? "; the last encoder's record could not be written" : "") << "\n"
                     << std::flush;
    }

    void Rest(uint32_t ms)
    {
        platform::Host& host = platform::host();
        for (uint32_t slept = 0; slept < ms && !context_.stopSignal(); slept += kRestSliceMs)
            host.Sleep(std::min(kRestSliceMs, ms - slept));
    }

    const CliOptions& options_;
    RunContext& context_;
    EncoderStep step_;
    Station station_ = Station::Starting;
    std::optional<EncoderIdentity> done_;  // the encoder done last, until it is taken off
    std::map<ExitCode, int> results_;
    bool recordLost_ = false;
    int exitCode_ = 0;
};

}  // namespace

int RunProductionLoop(const CliOptions& options, RunContext& context, const EncoderStep& step)
{
    return ProductionLoop(options, context, step).Run();
}

int RunProductionLoop(const CliOptions& options, RunContext& context)
{
    return RunProductionLoop(options, context, [&](const EncoderSeen& seen) {
        const ProgramRecord record = ProgramOneEncoder(options, PortLabel(options.port), context);
        if (record.abandoned) return EncoderDone{record.code, true, true};
        if (record.identity) seen(*record.identity);
        return EncoderDone{record.code, ReportProgrammed(record, options, context)};
    });
}

}  // namespace cli
