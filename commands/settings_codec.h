// What the three settings lists hold and select for the encoder in DeviceModel, and what a pick
// in them writes into its ConfigBlock. The window turns these into rows; the command line uses
// them directly.
#pragma once

#include <array>
#include <cstdint>

#include "commands/settings_tables.h"

namespace commands {

ProductFamily FamilyOfFlags();
const std::array<const char*, 2>& DirectionRows(ProductFamily family);  // family A's for None
const char* ResolutionText(int row, ProductFamily family);

struct SettingLists {
    uint8_t edgeTableId;  // 0: the edge-separation list is empty
    ProductFamily family;
};
// Decides the edge-separation table from the stored value, sets EdgeTableId, and names the
// family whose resolution and direction rows the lists show.
SettingLists PlanSettingLists();

// The row each list selects for the stored codes; -1 where a code has no row.
struct SettingRows {
    int resolution;
    int edgeSeparation;
    int direction;
};
SettingRows RowsOfSettings();

// The settings by what they mean. Each writes exactly its field's bits of ConfigBlock.
void SetResolution(const ResolutionRow& resolution);  // 04B and 03B are confirmed with a warning first
void SetEdgeSeparation(const EdgeSeparationRow& edgeSeparation);
void SetDirection(Direction direction);  // as the family of the product flags stores it
// The edge separation of that many nanoseconds from the table that the encoder's stored value
// belongs to; false, writing nothing, when that table has no such row.
bool SetEdgeSeparationNanoseconds(int nanoseconds);
// The table of the stored edge-separation value: 1, 2, or 0 for neither.
uint8_t StoredEdgeTableId();

// A pick in a list writes its row's setting; a row out of range writes nothing. The edge
// separation's rows are those of the table that the list was filled from (EdgeTableId).
void PickResolutionRow(int row);
void PickEdgeSeparationRow(int row);
void PickDirectionRow(int row);

}  // namespace commands
