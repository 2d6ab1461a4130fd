// The subcommands that only read: ports, info and backup.
#include <algorithm>

#include "cli/backup_file.h"
#include "cli/cli_commands.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "link/Procedure_Tarv_Config.h"

using namespace commands;

namespace cli {
namespace {

// Reads the whole memory on the adapter's open port, without repairing or writing anything.
ExitCode ReadOnly(const AdapterPort& adapter, const CliOptions& options, RunContext& context, eeprom::Image& memory)
{
    if (!adapter.Open()) return adapter.Code();
    if (ReadWholeMemory(memory) == 0) {
        context.err << "tarv-cli: " << ReadFailureText(options.port, LastReadFailure()) << "\n";
        return ExitCode::ReadFailed;
    }
    return ExitCode::Done;
}

bool ToStandardOutput(const CliOptions& options)
{
    return options.backupFile == "-";
}

int BackupToStandardOutput(const CliOptions& options, RunContext& context)
{
    const AdapterPort adapter(options.port, context);
    eeprom::Image memory{};
    if (const ExitCode code = ReadOnly(adapter, options, context, memory); code != ExitCode::Done) return AsInt(code);
    context.out.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
    context.out.flush();
    if (!context.out) {
        context.err << "tarv-cli: the standard output cannot be written\n";
        return AsInt(ExitCode::BadArguments);
    }
    return AsInt(ExitCode::Done);
}

}  // namespace

int RunPorts(const CliOptions& options, RunContext& context)
{
    const std::vector<PortStatus> ports = ProbePorts(options.port);
    TellListingFailure(context.err);
    if (!options.quiet)
        context.out << (options.json ? JsonLine(PortsJson(ports), context.tool) + "\n" : PortsText(ports));
    const bool adapterFound =
        std::any_of(ports.begin(), ports.end(), [](const PortStatus& port) { return port.status == "adapter"; });
    return AsInt(adapterFound ? ExitCode::Done : ExitCode::NoAdapter);
}

int RunInfo(const CliOptions& options, RunContext& context)
{
    const AdapterPort adapter(options.port, context);
    eeprom::Image memory{};
    if (const ExitCode code = ReadOnly(adapter, options, context, memory); code != ExitCode::Done) return AsInt(code);
    const EncoderReport encoder = DescribeEncoder(memory);
    const std::string port = adapter.Label();
    if (!options.quiet)
        context.out << (options.json ? JsonLine(InfoJson(port, encoder), context.tool) + "\n"
                                     : InfoText(port, encoder));
    return AsInt(ExitCode::Done);
}

int RunBackup(const CliOptions& options, RunContext& context)
{
    if (ToStandardOutput(options)) return BackupToStandardOutput(options, context);
    const BackupFile file(options.backupFile, options.force);
    if (const std::string why = file.Check(); !why.empty()) {
        context.err << "tarv-cli: " << options.backupFile << ": " << why << "\n";
        return AsInt(ExitCode::BadArguments);
    }
    const AdapterPort adapter(options.port, context);
    eeprom::Image memory{};
    if (const ExitCode code = ReadOnly(adapter, options, context, memory); code != ExitCode::Done) return AsInt(code);
    if (const std::string why = file.Keep(memory); !why.empty()) {
        context.err << "tarv-cli: " << options.backupFile << ": " << why << "\n";
        return AsInt(ExitCode::BadArguments);
    }
    const EncoderReport encoder = DescribeEncoder(memory);
    const std::string port = adapter.Label();
    if (!options.quiet)
        context.out << (options.json ? JsonLine(BackupJson(port, options.backupFile, encoder), context.tool) + "\n"
                                     : BackupText(port, options.backupFile, encoder));
    return AsInt(ExitCode::Done);
}

int RunCommand(const CliOptions& options, RunContext& context)
{
    switch (options.command) {
    case Subcommand::Ports:
        return RunPorts(options, context);
    case Subcommand::Info:
        return RunInfo(options, context);
    case Subcommand::Backup:
        return RunBackup(options, context);
    case Subcommand::Program:
        return RunProgram(options, context);
    case Subcommand::Restore:
        return RunRestore(options, context);
    case Subcommand::Verify:
        return RunVerify(options, context);
    case Subcommand::History:
        return RunHistory(options, context);
    }
    return AsInt(ExitCode::BadArguments);
}

}  // namespace cli
