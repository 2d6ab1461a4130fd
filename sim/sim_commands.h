// Commands that change the emulated encoder while tarv-adapter-sim runs, one a line on its
// standard input, so that a production run can be played: put an encoder on, take it off, swap it.
#pragma once

#include <string>
#include <string_view>

#include "sim/adapter_emulator.h"

namespace sim {

// Applies one line: "encoder NAME SERIAL" puts a fresh format-2 encoder with that product name
// (4 characters) and serial number (6 characters) on the adapter; "remove" takes it off, after
// which presence requests are still answered and EEPROM requests are not. Blank lines do nothing.
// Returns what was wrong with the line, or an empty string.
std::string ApplySimCommand(std::string_view line, AdapterEmulator& adapter);

// The commands as --help lists them.
std::string SimCommandsUsage();

}  // namespace sim
