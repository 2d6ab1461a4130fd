// The translation between the encoder's setting codes and the rows of the three choice lists:
// resolution, edge separation and counting direction. Plain data and lookups, no widgets.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct MessageText;

struct ResolutionRow {
    const char* textA;  // family A: KV21, KV24, HXD3
    const char* textB;  // family B: KV26, HXD6
    uint8_t code;
};

struct EdgeSeparationRow {
    const char* text;
    uint8_t modeBits;  // ConfigBlock byte 5, bits 0..6
    uint8_t count;     // ConfigBlock byte 4
    uint16_t Value() const { return static_cast<uint16_t>(modeBits << 8 | count); }
};

extern const std::array<ResolutionRow, 25> kResolutionRows;
extern const std::array<EdgeSeparationRow, 9> kEdgeTable1;
extern const std::array<EdgeSeparationRow, 10> kEdgeTable2;

inline constexpr std::array<const char*, 2> kDirectionRowsA = {"Negative", "Positive"};
inline constexpr std::array<const char*, 2> kDirectionRowsB = {"Positive", "Negative"};

// Resolution rows whose pick is confirmed with a warning first.
inline constexpr int kResolution04BRow = 23;
inline constexpr int kResolution03BRow = 24;

// (byte 5 AND 0x7F) * 256 + byte 4; bit 7 of byte 5 is the device's own.
uint16_t EdgeSeparationValue(std::span<const uint8_t, 16> configBlock);
// 1 or 2 for a value of the first or second table's set, 0 for neither.
uint8_t EdgeTableIdOf(uint16_t edgeSeparationValue);
std::span<const EdgeSeparationRow> EdgeTable(uint8_t edgeTableId);  // empty for 0

// Row lookups; -1 where the code or value has no row.
int ResolutionRowOfCode(uint8_t resolutionCode);
int EdgeRowOfValue(uint8_t edgeTableId, uint16_t edgeSeparationValue);

// The warning for a resolution row, if it has one.
const MessageText* ResolutionWarning(int row);  // nullptr for rows without one
