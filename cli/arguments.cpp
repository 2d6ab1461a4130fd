#include "cli/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <sstream>

#include "cli/exit_codes.h"

namespace cli {
namespace {

// The options that are checked after CLI11 has read the line, as typed.
struct SettingTexts {
    std::string resolution;
    std::string edgeSeparation;
    std::string direction;
    std::string count;
    CLI::Option* resolutionOption = nullptr;
    CLI::Option* edgeSeparationOption = nullptr;
    CLI::Option* directionOption = nullptr;
    CLI::Option* countOption = nullptr;
};

void AddCommonOptions(CLI::App& command, CliOptions& options)
{
    command
        .add_option("-p,--port", options.port,
                    "the adapter's port, such as COM3, ttyUSB0 or a device path (default: the first port, in the "
                    "ports' order, whose adapter answers)")
        ->type_name("NAME");
    command.add_flag("-j,--json", options.json, "print JSON instead of text");
    command.add_flag("-q,--quiet", options.quiet, "print only errors; the exit code tells the result");
    command.footer(kExitCodesHelp);
}

void AddProgramOptions(CLI::App& program, CliOptions& options, SettingTexts& texts)
{
    texts.resolutionOption =
        program.add_option("--resolution", texts.resolution, "a designation such as D50 or 04B, or a row's whole text")
            ->type_name("DESIGNATION");
    texts.edgeSeparationOption =
        program
            .add_option("--edge-separation", texts.edgeSeparation,
                        "the minimum edge separation in microseconds, from the encoder's own table: 0.5, 1, 0.12")
            ->type_name("MICROSECONDS");
    texts.directionOption =
        program.add_option("--direction", texts.direction, "the counting direction")->type_name("positive|negative");
    auto* dryRun = program.add_flag("-n,--dry-run", options.dryRun,
                                    "read the encoder and print what programming would change; write nothing");
    auto* log = program.add_option("--log", options.logPath, "append one JSON line per programmed encoder to FILE")
                    ->type_name("FILE");
    auto* each = program.add_flag("--each", options.each,
                                  "production mode: program every encoder put on the adapter until SIGINT or SIGTERM");
    texts.countOption = program.add_option("--count", texts.count, "with --each: stop after N encoders programmed ok")
                            ->type_name("N")
                            ->needs(each);
    program.add_flag("-v,--verbose", options.verbose, "a line for each block written")
        ->excludes(program.get_option("--quiet"));
    dryRun->excludes(each)->excludes(log);
}

// A whole number of 1 or more, written plainly: "3", not "+3", "3.0" or "0x3".
std::optional<int> PositiveCount(const std::string& text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < 1) return std::nullopt;
    return value;
}

// Checks the setting values against both families' lists; the encoder's own lists come later.
std::string CheckSettings(const SettingTexts& texts, SettingsRequest& settings)
{
    if (texts.resolutionOption->count() > 0) {
        auto parsed = ParseResolution(texts.resolution);
        if (!parsed.value) return parsed.error;
        settings.resolution = parsed.value;
    }
    if (texts.edgeSeparationOption->count() > 0) {
        auto parsed = ParseEdgeSeparation(texts.edgeSeparation);
        if (!parsed.value) return parsed.error;
        settings.edgeSeparation = parsed.value;
    }
    if (texts.directionOption->count() > 0) {
        auto parsed = ParseDirection(texts.direction);
        if (!parsed.value) return parsed.error;
        settings.direction = parsed.value;
    }
    if (settings.Empty()) return "program needs at least one of --resolution, --edge-separation, --direction";
    return {};
}

std::string CheckCount(const SettingTexts& texts, CliOptions& options)
{
    if (texts.countOption->count() == 0) return {};
    const std::optional<int> count = PositiveCount(texts.count);
    if (!count) return "--count takes a whole number of 1 or more";
    options.count = *count;
    return {};
}

ParsedCommandLine Failed(const std::string& message)
{
    return {std::nullopt, "tarv-cli: " + message, AsInt(ExitCode::BadArguments)};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& version)
{
    CliOptions options;
    SettingTexts texts;
    CLI::App app("Reads, programs and backs up linear encoders through the programming adapter.", "tarv-cli");
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", "tarv-cli " + version);
    app.footer(kExitCodesHelp);

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports and whether an adapter answers on each");
    CLI::App* info = app.add_subcommand("info", "show the encoder's identity and settings (reads only)");
    CLI::App* program = app.add_subcommand("program", "write settings into the encoder, then read them back");
    CLI::App* backup = app.add_subcommand("backup", "save the encoder's 128 bytes, as read, into FILE");
    const std::array<CLI::App*, 4> commands = {ports, info, program, backup};
    for (CLI::App* command : commands) AddCommonOptions(*command, options);
    AddProgramOptions(*program, options, texts);
    backup->add_option("FILE", options.backupFile, "the file to write; - for standard output")->required();
    backup->add_flag("--force", options.force, "replace FILE if it exists");

    // CLI11 would only say that a subcommand is required.
    const auto named = [&args](const CLI::App* command) { return command->check_name(args[0]); };
    if (!args.empty() && !args[0].starts_with("-") && std::none_of(commands.begin(), commands.end(), named))
        return Failed("'" + args[0] + "' is not a subcommand; choices: ports, info, program, backup");
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() != 0) return Failed(std::string(error.what()) + " (see tarv-cli --help)");
        std::ostringstream out, err;
        app.exit(error, out, err);  // --help or --version, for the command that was named
        return {std::nullopt, out.str(), 0};
    }

    if (ports->parsed()) options.command = Subcommand::Ports;
    if (info->parsed()) options.command = Subcommand::Info;
    if (backup->parsed()) options.command = Subcommand::Backup;
    if (program->parsed()) {
        options.command = Subcommand::Program;
        if (const std::string error = CheckSettings(texts, options.settings); !error.empty()) return Failed(error);
        if (const std::string error = CheckCount(texts, options); !error.empty()) return Failed(error);
    }
    return {options, {}, 0};
}

}  // namespace cli
