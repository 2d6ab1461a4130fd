// READ's device rules: refresh the memory copy and name a blank product record.
#pragma once

#include <optional>

#include "commands/write_witness.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

// Reads the whole memory into DeviceModel and repairs a blank record, telling `witness` (none:
// nullptr) of the repair's write. The memory as read, before the repair; none (already reported)
// when the read failed and DeviceModel is unchanged.
std::optional<eeprom::Image> RefreshDeviceModel(WriteWitness* witness);

// A record with an empty name whose two dates show the same text gets the name that its
// resolution code tells (0x10: HXD3, 0x12: HXD6, with that product's flag), and is written
// back, named or not. `asRead` is the memory that DeviceModel was loaded from: `witness` (none:
// nullptr) keeps it before the record is written.
void RepairBlankRecord(const eeprom::Image& asRead, WriteWitness* witness);

}  // namespace commands
