// What the command line asked tarv-cli to do.
#pragma once

#include <string>

#include "cli/settings_request.h"

namespace cli {

enum class Subcommand { Ports, Info, Program, Backup };

struct CliOptions {
    Subcommand command = Subcommand::Info;
    std::string port;  // empty: search the ports
    bool json = false;
    bool quiet = false;    // -q: only errors; the exit code and the --log file tell the rest
    bool verbose = false;  // -v: a line per block written
    // program
    SettingsRequest settings;
    bool dryRun = false;
    std::string logPath;
    bool each = false;
    int count = 0;  // with --each: stop after this many encoders programmed ok; 0: until a signal
    // backup
    std::string backupFile;  // "-": standard output
    bool force = false;
};

}  // namespace cli
