// PROG's device rules: merge the edited settings into a fresh copy of the memory, stamp today's
// date, recompute both checksums, write all 128 bytes in sixteen blocks and verify the read-back.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

using ConfigBytes = std::array<uint8_t, eeprom::kConfigBlockSize>;

enum class ProgramResult {
    Done,                // written, read back and equal
    NoDevice,            // no port in use: nothing sent
    ReadFailed,          // the fresh read failed: nothing written, the edits restored
    NoAnswer,            // a block got no status in time: the blocks before it are written
    Refused,             // a block was refused: likewise
    VerificationFailed,  // all written, but the read-back differs
};

// True for the results after which all sixteen blocks were acknowledged.
inline bool AllBlocksWritten(ProgramResult result)
{
    return result == ProgramResult::Done || result == ProgramResult::VerificationFailed;
}

// Exactly the bits that the settings lists change come from `edited`; every other bit is the
// device's, as just read.
void MergeEditedSettings(ConfigBytes& fresh, const ConfigBytes& edited);

// After a fresh read into DeviceModel: merges `edited` into ConfigBlock, puts the new ConfigCrc
// into both, stamps today as LastChangedDate and recomputes RecordChecksum.
void PrepareProgramming(ConfigBytes& edited);

// The whole memory as PROG writes it, from DeviceModel: settings, record and tag; zeros between.
eeprom::Image ProgrammingImage();

// Sends the sixteen blocks in order and stops at the first that is not written.
WriteOutcome WriteImage(const eeprom::Image& image);

// The whole command on the encoder, showing its own messages. `readBack` is the READ command in
// full; its result is compared with what was written.
ProgramResult ProgramEncoder(const std::function<void()>& readBack);
