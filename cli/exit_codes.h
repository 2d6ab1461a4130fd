// tarv-cli's exit codes and the result words of its output and log, as the outcomes' table in
// commands/result_words.h pairs them.
#pragma once

#include <string>

#include "commands/program_command.h"
#include "commands/result_words.h"

namespace cli {

// The codes of an encoder's outcomes are those of the outcomes' table; the others are tarv-cli's own.
enum class ExitCode : int {
    Done = commands::ExitCodeOf(commands::Outcome::Ok),
    BadArguments = 1,  // nothing sent to the encoder
    // no adapter, or the port did not open; nothing written
    NoAdapter = commands::ExitCodeOf(commands::Outcome::NoAdapter),
    // the memory read failed; nothing written
    ReadFailed = commands::ExitCodeOf(commands::Outcome::ReadFailed),
    // a block was refused or not answered; the blocks before it are written
    WriteFailed = commands::ExitCodeOf(commands::Outcome::WriteFailed),
    // all written, but the read-back differs or could not be read
    VerificationFailed = commands::ExitCodeOf(commands::Outcome::VerificationFailed),
    // the setting does not apply to this encoder, or its product is unknown; nothing written
    NotApplicable = commands::ExitCodeOf(commands::Outcome::NotApplicable),
    ImageOfAnotherEncoder = 7,  // restore: the image names another product or serial; nothing written
    // the encoder's image could not be kept (nothing written), or all else went well but its record
    // (--log, journal, output) could not be written
    RecordNotWritten = commands::ExitCodeOf(commands::Outcome::StoreFailed),
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

inline ExitCode ExitCodeOf(commands::ProgramResult result)
{
    return static_cast<ExitCode>(commands::ExitCodeOf(commands::OutcomeOf(result)));
}

// How an encoder's command ended, told by the exit code that its ending gives, and its word.
inline commands::Outcome OutcomeOf(ExitCode code)
{
    return commands::OutcomeOfExitCode(AsInt(code));
}

inline const char* ResultWord(ExitCode code)
{
    return commands::WordOf(OutcomeOf(code));
}

// The exit codes and the result words, as --help and the README show them.
extern const char* const kExitCodes;
std::string ExitCodesHelp();

}  // namespace cli
