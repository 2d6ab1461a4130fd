// tarv-cli's exit codes and the result words of its output and log, and how PROG's outcomes map
// onto them.
#pragma once

#include <string>

#include "commands/program_command.h"
#include "commands/result_words.h"

namespace cli {

enum class ExitCode : int {
    Done = 0,
    BadArguments = 1,           // nothing sent to the encoder
    NoAdapter = 2,              // no adapter, or the port did not open; nothing written
    ReadFailed = 3,             // the memory read failed; nothing written
    WriteFailed = 4,            // a block was refused or not answered; the blocks before it are written
    VerificationFailed = 5,     // all written, but the read-back differs or could not be read
    NotApplicable = 6,          // the setting does not apply to this encoder, or its product is unknown;
                                // nothing written
    ImageOfAnotherEncoder = 7,  // restore: the image names another product or serial; nothing written
    RecordNotWritten = 8,       // the encoder's image could not be kept (nothing written), or all else went
                                // well but its record (--log, journal, output) could not be written
};

// A command that a signal stopped ends with 128 and the signal's number, as a shell reports it.
inline int ExitCodeOfSignal(int signal)
{
    return 128 + signal;
}

inline int AsInt(ExitCode code)
{
    return static_cast<int>(code);
}

ExitCode ExitCodeOf(commands::ProgramResult result);

// How an encoder's command ended, told by the exit code that its ending gives, and its word.
commands::Outcome OutcomeOf(ExitCode code);
const char* ResultWord(ExitCode code);

// The exit codes and the result words, as --help and the README show them.
extern const char* const kExitCodes;
std::string ExitCodesHelp();

}  // namespace cli
