// How a command on an encoder ended, and the one word for each ending that the --log file, the
// JSON output and the journal give, for the window and tarv-cli alike.
#pragma once

#include <array>

#include "commands/program_command.h"
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
};

inline constexpr std::array<OutcomeWord, 7> kOutcomeWords = {{
    {Outcome::Ok, "ok"},
    {Outcome::ReadFailed, "read-failed"},
    {Outcome::WriteFailed, "write-failed"},
    {Outcome::VerificationFailed, "verification-failed"},
    {Outcome::NotApplicable, "not-applicable"},
    {Outcome::NoAdapter, "no-adapter"},
    {Outcome::StoreFailed, "store-failed"},
}};

constexpr const char* WordOf(Outcome outcome)
{
    for (const OutcomeWord& entry : kOutcomeWords)
        if (entry.outcome == outcome) return entry.word;
    return "";
}

constexpr Outcome OutcomeOf(ProgramResult result)
{
    switch (result) {
    case ProgramResult::Done:
        return Outcome::Ok;
    case ProgramResult::NoDevice:
        return Outcome::NoAdapter;
    case ProgramResult::ReadFailed:
        return Outcome::ReadFailed;
    case ProgramResult::NoAnswer:
    case ProgramResult::Refused:
        return Outcome::WriteFailed;
    case ProgramResult::NotKept:
        return Outcome::StoreFailed;
    case ProgramResult::VerificationFailed:
    case ProgramResult::ReadBackFailed:
        break;
    }
    return Outcome::VerificationFailed;
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
