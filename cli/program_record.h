// What `program` tells about one encoder: one line of output and of the log.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "commands/encoder_report.h"
#include "link/encoder_identity.h"

namespace cli {

struct ProgramRecord {
    std::string command = "program";  // or "restore"
    std::string time;                 // UTC, YYYY-MM-DDTHH:MM:SSZ
    std::string port;
    std::optional<std::string> product;  // none before the memory was read
    std::optional<std::string> serial;
    std::optional<commands::SettingsReport> before;  // as read, before anything was written
    std::optional<commands::SettingsReport> after;   // as read back; none when the read-back did not happen or failed
    ExitCode code = ExitCode::Done;
    std::string reason;                       // why the result is not ok; empty when it is
    std::optional<std::string> image;         // the image kept in the store before the first block
    std::string journalError;                 // why the journal line of its write could not be written
    std::optional<EncoderIdentity> identity;  // the encoder as its read found it; none before the read
    bool abandoned = false;                   // asked to stop before its first block: untouched, nothing to report
};

// What a dry run found: the settings now and as they would be written, and every byte that
// programming would change.
struct DryRunReport {
    std::string port;
    std::string product;
    std::string serial;
    commands::SettingsReport before;
    commands::SettingsReport after;
    std::vector<commands::ByteChange> changes;
    std::string command = "programming";  // what would change the bytes: "programming", "restore"
};

}  // namespace cli
