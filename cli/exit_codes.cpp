#include "cli/exit_codes.h"

#include "commands/result_words.h"

using namespace commands;

namespace cli {

ExitCode ExitCodeOf(ProgramResult result)
{
    switch (result) {
    case ProgramResult::Done:
        return ExitCode::Done;
    case ProgramResult::NoDevice:
        return ExitCode::NoAdapter;
    case ProgramResult::ReadFailed:
        return ExitCode::ReadFailed;
    case ProgramResult::NoAnswer:
    case ProgramResult::Refused:
        return ExitCode::WriteFailed;
    case ProgramResult::NotKept:
        return ExitCode::RecordNotWritten;
    case ProgramResult::VerificationFailed:
    case ProgramResult::ReadBackFailed:
        return ExitCode::VerificationFailed;
    }
    return ExitCode::VerificationFailed;
}

Outcome OutcomeOf(ExitCode code)
{
    switch (code) {
    case ExitCode::Done:
        return Outcome::Ok;
    case ExitCode::NoAdapter:
        return Outcome::NoAdapter;
    case ExitCode::ReadFailed:
        return Outcome::ReadFailed;
    case ExitCode::WriteFailed:
        return Outcome::WriteFailed;
    case ExitCode::VerificationFailed:
        return Outcome::VerificationFailed;
    case ExitCode::RecordNotWritten:
        return Outcome::StoreFailed;
    case ExitCode::BadArguments:
    case ExitCode::NotApplicable:
    case ExitCode::ImageOfAnotherEncoder:
        break;
    }
    return Outcome::NotApplicable;
}

const char* ResultWord(ExitCode code)
{
    return WordOf(OutcomeOf(code));
}

std::string ExitCodesHelp()
{
    std::string words;
    for (const OutcomeWord& entry : kOutcomeWords) words += (words.empty() ? "" : ", ") + std::string(entry.word);
    return kExitCodes + std::string("Result words (the result of the JSON output, --log and the journal):\n  ") +
           words + "\n";
}

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  done\n"
    "  1  bad arguments (nothing sent), or the backup file exists or cannot be written\n"
    "  2  no adapter, or the port is unavailable\n"
    "  3  the encoder's memory could not be read\n"
    "  4  a write was refused or not answered (the blocks before it are written)\n"
    "  5  verification failed: the read-back differs or could not be read; verify found a difference\n"
    "  6  the setting does not apply to this encoder, or its product is unknown (verify too)\n"
    "  7  restore: the image belongs to another encoder\n"
    "  8  the image store cannot be written (nothing written; --no-backup goes on without it), or the\n"
    "     encoder's record (--log, the journal, or the output) could not be written; the output of\n"
    "     any other subcommand could not be written; history: the journal cannot be read\n"
    "  129, 130, 143  stopped by SIGHUP, SIGINT or SIGTERM (an encoder being written is finished first)\n"
    "Nothing is written to the encoder on exit codes 1, 2, 3, 6 and 7.\n";

}  // namespace cli
