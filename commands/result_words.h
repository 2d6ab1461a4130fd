// How a command on an encoder ended, and for each ending, in one table, the one word that the
// --log file, the JSON output and the journal give (the window's and tarv-cli's alike) and the exit
// code that tarv-cli ends with.
#pragma once

#include <array>

#include "link/Procedure_Tarv_Config.h"

namespace commands {

enum class Outcome {
    Ok,
    ReadFailed,          // the memory could not be read; nothing written
    WriteFailed,         // a block was refused or not answered; the blocks before it are written
    VerificationFailed,  // all written, but the read-back differs or could not be read; or a check found a difference
    NotApplicable,       // left unwritten: the setting does not apply, or the product is unknown
    NoAdapter,           // no adapter: nothing sent
    StoreFailed,         // the encoder's image could not be kept: nothing written
};

struct OutcomeWord {
    Outcome outcome;
    const char* word;
    int exitCode;  // tarv-cli's
};

// In the order that --help lists the words.
inline constexpr std::array<OutcomeWord, 7> kOutcomeWords = {{
    {Outcome::Ok, "ok", 0},
    {Outcome::ReadFailed, "read-failed", 3},
    {Outcome::WriteFailed, "write-failed", 4},
    {Outcome::VerificationFailed, "verification-failed", 5},
    {Outcome::NotApplicable, "not-applicable", 6},
    {Outcome::NoAdapter, "no-adapter", 2},
    {Outcome::StoreFailed, "store-failed", 8},
}};

constexpr const OutcomeWord& EntryOf(Outcome outcome)
{
    for (const OutcomeWord& entry : kOutcomeWords)
        if (entry.outcome == outcome) return entry;
    return kOutcomeWords.front();  // unreachable: every outcome has its row
}

constexpr const char* WordOf(Outcome outcome)
{
    return EntryOf(outcome).word;
}

constexpr int ExitCodeOf(Outcome outcome)
{
    return EntryOf(outcome).exitCode;
}

// The outcome that ends with `exitCode`; a code that no outcome gives (bad arguments, restore's
// image of another encoder) counts as not applicable.
constexpr Outcome OutcomeOfExitCode(int exitCode)
{
    for (const OutcomeWord& entry : kOutcomeWords)
        if (entry.exitCode == exitCode) return entry.outcome;
    return Outcome::NotApplicable;
}

constexpr Outcome OutcomeOf(RecordWriteResult result)
{
    switch (result) {
    case RecordWriteResult::Verified:
        return Outcome::Ok;
    case RecordWriteResult::WriteFailed:
        return Outcome::WriteFailed;
    case RecordWriteResult::ReadBackDiffers:
        break;
    }
    return Outcome::VerificationFailed;
}

}  // namespace commands
