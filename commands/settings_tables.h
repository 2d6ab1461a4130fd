// The translation between the encoder's setting codes and the rows of the three choice lists:
// resolution, edge separation and counting direction. Plain data and lookups, no widgets.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include <optional>
#include <string>
#include <string_view>

struct MessageText;

namespace commands {

enum class ProductFamily {
    None,  // no product flag set: the resolution and direction lists keep their rows
    A,     // KV21, KV24, HXD3
    B,     // KV26, HXD6; wins when flags of both families are set
};

struct ResolutionRow {
    const char* designation;  // "D50": the scale's name, the same in both families
    const char* textA;        // family A: KV21, KV24, HXD3
    const char* textB;        // family B: KV26, HXD6
    uint8_t code;             // ConfigBlock byte 0, bits 0..4
    const char* Text(ProductFamily family) const { return family == ProductFamily::B ? textB : textA; }
};

struct EdgeSeparationRow {
    const char* text;
    uint16_t nanoseconds;  // the minimum edge separation the row stands for
    uint8_t modeBits;      // ConfigBlock byte 5, bits 0..6
    uint8_t count;         // ConfigBlock byte 4
    constexpr uint16_t Value() const { return static_cast<uint16_t>(modeBits << 8 | count); }
};

extern const std::array<ResolutionRow, 25> kResolutionRows;
extern const std::array<EdgeSeparationRow, 9> kEdgeTable1;
extern const std::array<EdgeSeparationRow, 10> kEdgeTable2;

// The counting direction, and how each family stores it in the direction bit: the same bit
// counts the other way in family B (and in none, which shows family A's lists).
enum class Direction { Negative, Positive };

constexpr Direction DirectionOfBit(bool bitSet, ProductFamily family)
{
    const bool positive = family == ProductFamily::B ? !bitSet : bitSet;
    return positive ? Direction::Positive : Direction::Negative;
}

constexpr bool DirectionBit(Direction direction, ProductFamily family)
{
    return DirectionOfBit(true, family) == direction;
}

constexpr const char* DirectionText(Direction direction)
{
    return direction == Direction::Positive ? "Positive" : "Negative";
}

// The direction list's rows, in the order of the bit they stand for.
constexpr std::array<const char*, 2> DirectionRowsOf(ProductFamily family)
{
    return {DirectionText(DirectionOfBit(false, family)), DirectionText(DirectionOfBit(true, family))};
}
inline constexpr std::array<const char*, 2> kDirectionRowsA = DirectionRowsOf(ProductFamily::A);
inline constexpr std::array<const char*, 2> kDirectionRowsB = DirectionRowsOf(ProductFamily::B);

// The family of one product model (an index into kProductModelNames); None for -1.
ProductFamily FamilyOfModel(int model);
// The products of a family as a sentence names them: "KV21, KV24 and HXD3".
std::string FamilyProductNames(ProductFamily family);

// (byte 5 AND 0x7F) * 256 + byte 4; bit 7 of byte 5 is the device's own.
uint16_t EdgeSeparationValue(std::span<const uint8_t, 16> configBlock);
// 1 or 2 for a value of the first or second table's set, 0 for neither.
uint8_t EdgeTableIdOf(uint16_t edgeSeparationValue);
std::span<const EdgeSeparationRow> EdgeTable(uint8_t edgeTableId);  // empty for 0

// Row lookups; -1 where the code or value has no row.
int ResolutionRowOfCode(uint8_t resolutionCode);
int EdgeRowOfValue(uint8_t edgeTableId, uint16_t edgeSeparationValue);
int EdgeRowOfNanoseconds(uint8_t edgeTableId, int nanoseconds);

// The resolution row a person named: its designation ("d50") or the whole text of one family's
// row ("D50 (500)= 4 um"), in any case, "u" standing for the micro sign. `family` is None for a
// designation, which fits both families.
struct NamedResolution {
    int row;
    ProductFamily family;
};
std::optional<NamedResolution> ResolutionRowNamed(std::string_view typed);

// The warning that confirms a resolution before it is set (04B and 03B), if it has one.
const MessageText* ResolutionWarning(const ResolutionRow& resolution);  // nullptr for rows without one

}  // namespace commands
