// PROG's device rules: merge the edited settings into a fresh copy of the memory, stamp today's
// date, recompute both checksums, write all 128 bytes in sixteen blocks and verify the read-back;
// and the one write of a whole image that tarv-cli's program and restore share.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "commands/result_words.h"
#include "commands/settings_change.h"
#include "commands/write_witness.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

enum class ProgramResult {
    Done,                // written, read back and equal
    NoDevice,            // no port in use: nothing sent
    ReadFailed,          // the fresh read failed: nothing written, the edits restored
    NoAnswer,            // a block got no status in time: the blocks before it are written
    Refused,             // a block was refused: likewise
    VerificationFailed,  // all written, but the read-back differs
    ReadBackFailed,      // all written, but reading them back failed: not verified
    NotKept,             // the write witness could not keep the encoder's image: nothing written
};

// True for the results after which all sixteen blocks were acknowledged.
inline bool AllBlocksWritten(ProgramResult result)
{
    return result == ProgramResult::Done || result == ProgramResult::VerificationFailed ||
           result == ProgramResult::ReadBackFailed;
}

// How a command that ended with `result` counts: its word and tarv-cli's exit code.
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

// Exactly the bits that the settings lists change come from `edited`; every other bit is the
// device's, as just read.
void MergeEditedSettings(ConfigBytes& fresh, const ConfigBytes& edited);

// The whole memory as PROG writes it, from the memory just read: the settings fields of
// `settings` merged into its settings block and the settings CRC recomputed; the record in format 2
// (a format-1 record converted, one of neither format empty) with `today` as its last change and
// its checksum recomputed; the device tag as read; zeros between.
eeprom::Image ProgrammedImage(const eeprom::Image& read, const ConfigBytes& settings, int32_t today);

// Hears the address of each block that the adapter acknowledged.
using BlockWritten = std::function<void(int address)>;

// The eight bytes that one write request carries.
inline constexpr int kImageBlockSize = 8;

// Sends the sixteen blocks in order and stops at the first that is not written. `failedBlock`,
// when given, receives the address of that block.
WriteOutcome WriteImage(const eeprom::Image& image, const BlockWritten& blockWritten = {}, int* failedBlock = nullptr);

// The READ command in full: the memory as it read it, before its repair of a blank record
// changed anything; none when its read failed (it has shown its own message).
using ReadCommand = std::function<std::optional<eeprom::Image>()>;

// The whole command on the encoder, showing its own messages. `witness` (none: nullptr) hears of
// the write first and may refuse it (NotKept, nothing sent). After the sixteen blocks it runs
// `read` and compares the settings and the tag that DeviceModel then holds (what was written,
// when the read failed) with what it wrote, and the record's first 21 bytes as read back. `read`
// tells its own repair of a blank record to whichever witness it was given.
ProgramResult ProgramEncoder(const ReadCommand& read, WriteWitness* witness);

// What writing an image over an encoder did, and where it stopped or differed.
struct ProgrammingReport {
    ProgramResult result = ProgramResult::Done;
    int address = -1;                     // the block not written, or the first byte that reads back different
    eeprom::Image written{};              // the image that was sent, or would have been
    eeprom::Image readBack{};             // what the encoder holds afterwards, when it could be read
    std::optional<SettingsReport> after;  // the settings read back (Done, VerificationFailed)
};

// The one write of a whole image over the encoder whose memory was just read as `read`: `witness`
// (none: nullptr) hears of it first (and may refuse it: NotKept, nothing sent), then sixteen
// blocks, all 128 bytes read back and compared with the image, byte by byte. Shows PROG's
// messages; leaves DeviceModel as it is.
ProgrammingReport WriteAndVerify(const eeprom::Image& image, const WrittenEncoder& encoder, const eeprom::Image& read,
                                 WriteWitness* witness, const BlockWritten& blockWritten = {});

}  // namespace commands
