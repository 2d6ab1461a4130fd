#include "cli/exit_codes.h"

#include "commands/result_words.h"

using namespace commands;

namespace cli {

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
