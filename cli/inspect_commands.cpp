// The subcommands that only read: ports, info and backup.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/cli_commands.h"
#include "cli/encoder_load.h"
#include "cli/port_connection.h"
#include "cli/report_json.h"
#include "cli/report_text.h"
#include "link/Procedure_Tarv_Config.h"

namespace cli {
namespace {

// Connects and reads the whole memory, without repairing or writing anything.
ExitCode ReadOnly(const CliOptions& options, RunContext& context, eeprom::Image& memory)
{
    if (const ExitCode code = ConnectAdapter(options.port, context.err); code != ExitCode::Done) return code;
    if (ReadWholeMemory(memory) == 0) return ExitCode::ReadFailed;
    LoadEncoder(memory);
    return ExitCode::Done;
}

int Finish(ExitCode code)
{
    ClosePort();
    return AsInt(code);
}

bool WriteFile(const std::string& path, const eeprom::Image& memory, std::string& error)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
    file.close();
    if (!file) error = path + ": cannot be written";
    return static_cast<bool>(file);
}

}  // namespace

int RunPorts(const CliOptions& options, RunContext& context)
{
    const std::vector<PortStatus> ports = ProbePorts(options.port);
    context.out << (options.json ? JsonLine(PortsJson(ports)) + "\n" : PortsText(ports));
    const bool adapterFound =
        std::any_of(ports.begin(), ports.end(), [](const PortStatus& port) { return port.status == "adapter"; });
    return AsInt(adapterFound ? ExitCode::Done : ExitCode::NoAdapter);
}

int RunInfo(const CliOptions& options, RunContext& context)
{
    eeprom::Image memory{};
    if (const ExitCode code = ReadOnly(options, context, memory); code != ExitCode::Done) return Finish(code);
    const EncoderReport encoder = DescribeEncoder(memory);
    const std::string port = PortLabel(options.port);
    context.out << (options.json ? JsonLine(InfoJson(port, encoder)) + "\n" : InfoText(port, encoder));
    return Finish(ExitCode::Done);
}

int RunBackup(const CliOptions& options, RunContext& context)
{
    std::error_code ignored;
    if (!options.force && std::filesystem::exists(std::filesystem::path(options.backupFile), ignored)) {
        context.err << "tarv-cli: " << options.backupFile << " exists; it is kept (--force replaces it)\n";
        return AsInt(ExitCode::BadArguments);
    }
    eeprom::Image memory{};
    if (const ExitCode code = ReadOnly(options, context, memory); code != ExitCode::Done) return Finish(code);
    std::string error;
    if (!WriteFile(options.backupFile, memory, error)) {
        context.err << "tarv-cli: " << error << "\n";
        return Finish(ExitCode::BadArguments);
    }
    const EncoderReport encoder = DescribeEncoder(memory);
    const std::string port = PortLabel(options.port);
    context.out << (options.json ? JsonLine(BackupJson(port, options.backupFile, encoder)) + "\n"
                                 : BackupText(port, options.backupFile, encoder));
    return Finish(ExitCode::Done);
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
    }
    return AsInt(ExitCode::BadArguments);
}

}  // namespace cli
