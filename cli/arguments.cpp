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

// What a subcommand does with ports: none (it reads the journal), one, or a line of several.
enum class PortUse { None, One, Line };

void AddCommonOptions(CLI::App& command, CliOptions& options, PortUse use)
{
    constexpr const char* kPortHelp = "the adapter's port, such as COM3, ttyUSB0 or a device path (default: the first "
                                      "port, in the ports' order, whose adapter answers)";
    if (use != PortUse::None) {
        command
            .add_option("-p,--port", options.ports,
                        use == PortUse::Line ? std::string(kPortHelp) + "; with --each, once for each port of the line"
                                             : std::string(kPortHelp))
            ->type_name("NAME")
            ->allow_extra_args(false);
    }
    command.add_flag("-j,--json", options.json, "print JSON instead of text");
    command.add_flag("-q,--quiet", options.quiet, "print only errors; the exit code tells the result");
    if (use != PortUse::None)
        command.add_option("--trace", options.tracePath, "append a line for each transfer on the wire to FILE")
            ->type_name("FILE");
    command.footer(ExitCodesHelp());
}

void AddSettingOptions(CLI::App& command, SettingTexts& texts, const char* resolutionHelp)
{
    texts.resolutionOption =
        command.add_option("--resolution", texts.resolution, resolutionHelp)->type_name("DESIGNATION");
    texts.edgeSeparationOption =
        command
            .add_option("--edge-separation", texts.edgeSeparation,
                        "the minimum edge separation in microseconds, from the encoder's own table: 0.5, 1, 0.12")
            ->type_name("MICROSECONDS");
    texts.directionOption =
        command.add_option("--direction", texts.direction, "the counting direction")->type_name("positive|negative");
}

CLI::Option* AddEachOptions(CLI::App& command, CliOptions& options, SettingTexts& texts, const char* eachHelp)
{
    auto* each = command.add_flag("--each", options.each, eachHelp);
    texts.countOption = command
                            .add_option("--count", texts.count,
                                        "with --each: begin no encoder once N are done ok, over all ports (on "
                                        "several ports, the encoders in hand are finished, so more may be done)")
                            ->type_name("N")
                            ->needs(each);
    command
        .add_flag("--all-ports", options.allPorts,
                  "with --each: every port on which an adapter answers at the start, each at the same time")
        ->needs(each)
        ->excludes("--port");
    return each;
}

void AddProgramOptions(CLI::App& program, CliOptions& options, SettingTexts& texts)
{
    AddSettingOptions(program, texts, "a designation such as D50 or 04B, or a row's whole text");
    program
        .add_option("--like", options.likePath,
                    "take the settings of another encoder: its 128-byte image, or its info --json output "
                    "(the options given override them)")
        ->type_name("FILE");
    auto* dryRun = program.add_flag("-n,--dry-run", options.dryRun,
                                    "read the encoder and print what programming would change; write nothing");
    auto* log = program.add_option("--log", options.logPath, "append one JSON line per programmed encoder to FILE")
                    ->type_name("FILE");
    auto* each = AddEachOptions(program, options, texts,
                                "production mode: program every encoder put on the adapter until SIGINT or SIGTERM");
    program.add_flag("--no-backup", options.noBackup, "write without keeping the encoder's image in the store");
    program.add_flag("-v,--verbose", options.verbose, "a line for each block written")
        ->excludes(program.get_option("--quiet"));
    dryRun->excludes(each)->excludes(log);
}

void AddRestoreOptions(CLI::App& restore, CliOptions& options)
{
    restore.add_option("FILE", options.imageFile, "the 128-byte image to write back")->required();
    restore.add_flag("-n,--dry-run", options.dryRun, "print the addresses that would change; write nothing");
    restore.add_flag("--force", options.force,
                     "write an image whose checksums do not hold, or that belongs to another encoder");
    restore.add_flag("--no-backup", options.noBackup, "write without keeping the encoder's image in the store");
    restore.add_flag("-v,--verbose", options.verbose, "a line for each block written")
        ->excludes(restore.get_option("--quiet"));
}

void AddVerifyOptions(CLI::App& verify, CliOptions& options, SettingTexts& texts)
{
    AddSettingOptions(verify, texts, "the designation expected, such as D50 or 04B, or a row's whole text");
    AddEachOptions(verify, options, texts, "check every encoder put on the adapter until SIGINT or SIGTERM");
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
std::string CheckSettingValues(const SettingTexts& texts, SettingsRequest& settings)
{
    if (texts.resolutionOption->count() > 0)
        if (std::string error = SetResolution(settings, texts.resolution); !error.empty()) return error;
    if (texts.edgeSeparationOption->count() > 0)
        if (std::string error = SetEdgeSeparation(settings, texts.edgeSeparation); !error.empty()) return error;
    if (texts.directionOption->count() > 0) {
        auto parsed = ParseDirection(texts.direction);
        if (!parsed.value) return parsed.error;
        settings.change.direction = parsed.value;
    }
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

// One port for every command; several, each once, for a production line.
std::string CheckPorts(CliOptions& options)
{
    if (options.ports.size() == 1) options.port = options.ports.front();
    if (options.ports.size() <= 1) return {};
    if (!options.each) return "only program --each and verify --each take more than one --port";
    for (auto port = options.ports.begin(); port != options.ports.end(); ++port)
        if (std::find(port + 1, options.ports.end(), *port) != options.ports.end())
            return "--port " + *port + " is named twice";
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
    CLI::App app("Reads, programs, verifies, backs up and restores linear encoders through the programming adapter.",
                 "tarv-cli");
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", "tarv-cli " + version);
    app.footer(ExitCodesHelp());

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports and whether an adapter answers on each");
    CLI::App* info = app.add_subcommand("info", "show the encoder's identity and settings (reads only)");
    CLI::App* program = app.add_subcommand("program", "write settings into the encoder, then read them back");
    CLI::App* backup = app.add_subcommand("backup", "save the encoder's 128 bytes, as read, into FILE");
    CLI::App* restore = app.add_subcommand("restore", "write an image back into the encoder it belongs to, and verify it");
    CLI::App* verify = app.add_subcommand("verify", "check the encoder's checksums and settings (reads only)");
    CLI::App* history = app.add_subcommand("history", "list the writes kept in the journal, newest last");
    const std::array<CLI::App*, 7> commands = {ports, info, program, backup, restore, verify, history};
    for (CLI::App* command : {ports, info, backup, restore}) AddCommonOptions(*command, options, PortUse::One);
    for (CLI::App* command : {program, verify}) AddCommonOptions(*command, options, PortUse::Line);
    AddCommonOptions(*history, options, PortUse::None);
    SettingTexts verifyTexts;
    AddProgramOptions(*program, options, texts);
    AddRestoreOptions(*restore, options);
    AddVerifyOptions(*verify, options, verifyTexts);
    backup->add_option("FILE", options.backupFile, "the file to write; - for standard output")->required();
    backup->add_flag("--force", options.force, "replace FILE if it exists");
    history->add_option("--serial", options.serial, "only this serial number")->type_name("SERIAL");
    history->add_option("--product", options.product, "only this product")->type_name("PRODUCT");

    // CLI11 would only say that a subcommand is required.
    const auto named = [&args](const CLI::App* command) { return command->check_name(args[0]); };
    if (!args.empty() && !args[0].starts_with("-") && std::none_of(commands.begin(), commands.end(), named))
        return Failed("'" + args[0] +
                      "' is not a subcommand; choices: ports, info, program, backup, restore, verify, history");
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() != 0) return Failed(std::string(error.what()) + " (see tarv-cli --help)");
        std::ostringstream out, err;
        app.exit(error, out, err);  // --help or --version, for the command that was named
        return {std::nullopt, out.str(), 0};
    }

    if (const std::string error = CheckPorts(options); !error.empty()) return Failed(error);
    if (ports->parsed()) options.command = Subcommand::Ports;
    if (info->parsed()) options.command = Subcommand::Info;
    if (backup->parsed()) options.command = Subcommand::Backup;
    if (restore->parsed()) options.command = Subcommand::Restore;
    if (history->parsed()) options.command = Subcommand::History;
    if (program->parsed()) {
        options.command = Subcommand::Program;
        if (const std::string error = CheckSettingValues(texts, options.settings); !error.empty()) return Failed(error);
        if (options.settings.Empty() && options.likePath.empty())
            return Failed("program needs at least one of --resolution, --edge-separation, --direction, --like");
        if (const std::string error = CheckCount(texts, options); !error.empty()) return Failed(error);
    }
    if (verify->parsed()) {
        options.command = Subcommand::Verify;
        if (const std::string error = CheckSettingValues(verifyTexts, options.settings); !error.empty())
            return Failed(error);
        if (const std::string error = CheckCount(verifyTexts, options); !error.empty()) return Failed(error);
    }
    return {options, {}, 0};
}

}  // namespace cli
