// What the three settings lists hold and select for the encoder in DeviceModel, and what a pick
// in them writes into its ConfigBlock. The window turns these into rows; the command line uses
// them directly.
#pragma once

#include <array>
#include <cstdint>

enum class ProductFamily {
    None,  // no product flag set: the resolution and direction lists keep their rows
    A,     // KV21, KV24, HXD3
    B,     // KV26, HXD6; wins when flags of both families are set
};

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

// A pick writes exactly its field's bits of ConfigBlock; a row out of range writes nothing.
void PickResolutionRow(int row);  // 04B and 03B are confirmed with a warning first
void PickEdgeSeparationRow(int row);
void PickDirectionRow(int row);
