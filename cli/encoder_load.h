// Loads the encoder's memory, as read, into DeviceModel with the product flag of exactly the
// product that its record names, which decides how its settings read.
#pragma once

#include <optional>

#include "commands/encoder_report.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace cli {

// Unlike the window's watch, which keeps the flags it has seen until a name matches none, the
// flags name only this encoder: a KV24 followed by a KV26 must not be read with both families.
void LoadEncoder(const eeprom::Image& memory);

// Reads the whole memory into `memory`, loads it and describes it; nullopt (already reported by
// the link, `memory` untouched) when the read failed.
std::optional<EncoderReport> ReadEncoder(eeprom::Image& memory);

// The model whose name the record in DeviceModel holds; -1 for none.
int RecordedProductModel();

}  // namespace cli
