// The command line of tarv-adapter-sim: which encoder image the emulated adapter holds, how it
// misbehaves, and where the server logs and links.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/adapter_emulator.h"
#include "sim/encoder_images.h"

namespace sim {

enum class RecordFormat { Format2, Format1, Blank };

struct SimOptions {
    ProductRecordSpec record;
    RecordFormat format = RecordFormat::Format2;
    uint16_t serialCounter = 1234;  // format 1 only
    uint8_t blankByte = 0xFF;       // blank only
    AdapterOptions adapter;
    std::string logPath;   // empty: frames go to stderr
    std::string linkPath;  // empty: no symlink to the slave
    bool exitOnStdinEof = false;
    bool readCommands = false;  // standard input carries commands (sim_commands.h); also with exitOnStdinEof
    bool help = false;
};

struct ParsedArguments {
    SimOptions options;
    std::string error;  // empty when every argument was understood
};

// `args` excludes the program name.
ParsedArguments ParseSimArguments(const std::vector<std::string>& args);
std::string SimUsage();
eeprom::Image ImageOf(const SimOptions& options);

}  // namespace sim
