// The words for how a command on an encoder ended, as the --log file and the journal give them.
#pragma once

#include "commands/program_command.h"
#include "link/Procedure_Tarv_Config.h"

namespace result_words {
inline constexpr const char* kOk = "ok";
inline constexpr const char* kReadFailed = "read-failed";
inline constexpr const char* kWriteFailed = "write-failed";
inline constexpr const char* kVerificationFailed = "verification-failed";
inline constexpr const char* kNotApplicable = "not-applicable";
inline constexpr const char* kNoAdapter = "no-adapter";
}  // namespace result_words

inline const char* ResultWordOf(ProgramResult result)
{
    switch (result) {
    case ProgramResult::Done:
        return result_words::kOk;
    case ProgramResult::NoDevice:
        return result_words::kNoAdapter;
    case ProgramResult::ReadFailed:
        return result_words::kReadFailed;
    case ProgramResult::NoAnswer:
    case ProgramResult::Refused:
        return result_words::kWriteFailed;
    case ProgramResult::VerificationFailed:
    case ProgramResult::ReadBackFailed:
        break;
    }
    return result_words::kVerificationFailed;
}

inline const char* ResultWordOf(RecordWriteResult result)
{
    switch (result) {
    case RecordWriteResult::Verified:
        return result_words::kOk;
    case RecordWriteResult::WriteFailed:
        return result_words::kWriteFailed;
    case RecordWriteResult::ReadBackDiffers:
        break;
    }
    return result_words::kVerificationFailed;
}
