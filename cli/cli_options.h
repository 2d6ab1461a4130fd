// What the command line asked tarv-cli to do.
#pragma once

#include <string>
#include <vector>

#include "cli/settings_request.h"

namespace cli {

enum class Subcommand { Ports, Info, Program, Backup, Restore, Verify, History };

struct CliOptions {
    Subcommand command = Subcommand::Info;
    std::string port;                // the one port; empty: search the ports (or several ports)
    std::vector<std::string> ports;  // every --port given; more than one only with --each
    bool allPorts = false;           // --each on every port whose adapter answers at the start
    bool json = false;
    bool quiet = false;     // -q: only errors; the exit code and the --log file tell the rest
    bool verbose = false;   // -v: a line per block written
    std::string tracePath;  // --trace: a line per transfer on the wire, appended to this file
    // program, and verify's expectations
    SettingsRequest settings;
    std::string likePath;  // --like: the settings of this image or `info --json` output
    bool dryRun = false;
    std::string logPath;
    bool each = false;
    int count = 0;          // with --each: stop after this many encoders done ok; 0: until a signal
    bool noBackup = false;  // program, restore: write without keeping the encoder's image first
    // backup, restore
    std::string backupFile;  // backup: "-" for standard output
    std::string imageFile;   // restore
    bool force = false;      // backup: replace the file; restore: past its checks
    // history
    std::string serial;
    std::string product;

    // A production line on several ports at once.
    bool Gang() const { return allPorts || ports.size() > 1; }
    bool onePortOfMany = false;  // the options of one port's loop in such a line
};

}  // namespace cli
