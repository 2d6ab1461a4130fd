// tarv-cli's command line, read with CLI11. The setting values are checked here too, so that a
// bad value ends the program before any port is opened.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace cli {

struct ParsedCommandLine {
    std::optional<CliOptions> options;  // none: print `text` and end with `exitCode`
    std::string text;                   // the help (for standard output) or a one-line error
    int exitCode = 0;
};

// `args` without the program's name; `version` for --version.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& version);

}  // namespace cli
