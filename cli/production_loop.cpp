// program --each: the production line's loop. It polls as the window's watch does, programs each
// encoder of a known product once, and waits for that encoder to be taken off before the next.
#include <algorithm>
#include <array>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/encoder_programming.h"
#include "cli/port_connection.h"
#include "cli/quiet_host.h"
#include "commands/device_watch.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

// A stop request is noticed within this long, also during the 3 s pauses without an adapter.
constexpr uint32_t kRestSliceMs = 50;

enum class Station {
    Searching,  // the adapter does not answer
    Waiting,    // for an encoder of a known product
    Present,    // the encoder just programmed is still on the adapter
};

using SerialBytes = std::array<uint8_t, 6>;

// Runs a step of a poll with the link's message boxes dropped: an empty adapter fails its name
// read on every tick, and the loop tells its changes of station itself.
template <typename Step>
auto Quietly(Step step)
{
    QuietHost quiet(platform::host());
    const platform::ScopedHost installed(quiet);
    return step();
}

class ProductionLoop {
public:
    ProductionLoop(const CliOptions& options, RunContext& context) : options_(options), context_(context) {}

    int Run()
    {
        if (const ExitCode code = ConnectAdapter(options_.port, context_.err); code != ExitCode::Done)
            return AsInt(code);
        Enter(Station::Waiting);
        while (!context_.stopRequested() && !Poll()) Rest(static_cast<uint32_t>(WatchIntervalMs()));
        ClosePort();
        return lastFailure_;
    }

private:
    // One tick; true when --count encoders are done.
    bool Poll()
    {
        if (!Quietly([this] { return KeepAdapter(); })) {
            Enter(Station::Searching);
            return false;
        }
        if (station_ == Station::Searching) Enter(Station::Waiting);
        const ProductSighting sighting = Quietly([] { return SightProduct(); });
        if (station_ == Station::Present && TakenOff(sighting)) Enter(Station::Waiting);
        if (station_ != Station::Waiting || sighting.model < 0) return false;
        Program(sighting.model);
        return options_.count > 0 && programmed_ >= options_.count;
    }

    // The watch's rule: an answer below 3 means the adapter is gone; search for it again.
    bool KeepAdapter()
    {
        if (PingAdapter() >= kAdapterStillThere) return true;
        ClearDeviceModel();
        if (options_.port.empty())
            ScanForAdapter();
        else
            TryPort(SplitPortArgument(options_.port).name);
        return !SerialChannel.portName.empty();
    }

    // The encoder programmed last is gone when no known product answers, another one does, or
    // the serial number changed.
    bool TakenOff(const ProductSighting& sighting)
    {
        if (sighting.model != presentModel_) return true;
        const std::optional<SerialBytes> serial = SerialAsItIsNow();
        if (!serial) return true;
        if (!presentSerial_) presentSerial_ = serial;
        return serial != presentSerial_;
    }

    void Program(int model)
    {
        ProgramRecord record = ProgramOneEncoder(options_.settings, PortLabel(options_.port), context_);
        if (!record.product) record.product = kProductModelNames[model];
        // Before the line goes out: whoever reads it may put the next encoder on at once.
        presentModel_ = model;
        presentSerial_ = SerialAsItIsNow();
        ReportProgrammed(record, options_, context_);
        if (record.code != ExitCode::Done) lastFailure_ = AsInt(record.code);
        ++programmed_;
        Enter(Station::Present);
    }

    // The serial number that tells this encoder from the next, read as the encoder holds it after
    // programming (a format-1 record has become format 2); if unread, the next tick takes it.
    static std::optional<SerialBytes> SerialAsItIsNow()
    {
        SerialBytes serial{};
        if (Quietly([&serial] { return ReadEepromBlock(eeprom::format2::kSerialNumber, 6, serial); }) == 0)
            return std::nullopt;
        return serial;
    }

    // Says once what the line is waiting for; the polls themselves stay silent.
    void Enter(Station station)
    {
        if (station == station_) return;
        station_ = station;
        const std::string port = options_.port.empty() ? std::string("the ports") : options_.port;
        if (station == Station::Searching)
            context_.err << "tarv-cli: the adapter does not answer; searching " << port << " every "
                         << kWatchIntervalWithoutPortMs / 1000 << " s\n";
        if (station == Station::Waiting)
            context_.err << "tarv-cli: waiting for an encoder on " << PortLabel(options_.port) << "\n";
        context_.err << std::flush;
    }

    void Rest(uint32_t ms)
    {
        platform::Host& host = platform::host();
        for (uint32_t slept = 0; slept < ms && !context_.stopRequested(); slept += kRestSliceMs)
            host.Sleep(std::min(kRestSliceMs, ms - slept));
    }

    const CliOptions& options_;
    RunContext& context_;
    Station station_ = Station::Searching;
    int presentModel_ = -1;
    std::optional<SerialBytes> presentSerial_;
    int programmed_ = 0;
    int lastFailure_ = 0;
};

}  // namespace

int RunProductionLoop(const CliOptions& options, RunContext& context)
{
    return ProductionLoop(options, context).Run();
}

}  // namespace cli
