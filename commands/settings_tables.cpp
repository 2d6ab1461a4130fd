#include "commands/settings_tables.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "link/encoder_decode.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

// clang-format off
constexpr std::array<ResolutionRow, 25> kResolutionRows = {{
    {"13B", "13B (8192)= 0.2441 \u00B5m", "13B (8192)= 0.6103 \u00B5m", 0x03},
    {"12B", "12B (4096)= 0.4883 \u00B5m", "12B (4096)= 1.2207 \u00B5m", 0x04},
    {"11B", "11B (2048)= 0.9766 \u00B5m", "11B (2048)= 2.4414 \u00B5m", 0x05},
    {"2D0", "2D0 (2000)= 1 \u00B5m", "2D0 (2000)= 2.5 \u00B5m", 0x10},
    {"1D6", "1D6 (1600)= 1.25 \u00B5m", "1D6 (1600)= 3.125 \u00B5m", 0x11},
    {"10B", "10B (1024)= 1.9531 \u00B5m", "10B (1024)= 4.8828 \u00B5m", 0x06},
    {"1D0", "1D0 (1000)= 2 \u00B5m", "1D0 (1000)= 5 \u00B5m", 0x12},
    {"D80", "D80 (800)= 2.5 \u00B5m", "D80 (800)= 6.25 \u00B5m", 0x13},
    {"09B", "09B (512)= 3.9062 \u00B5m", "09B (512)= 9.7656 \u00B5m", 0x07},
    {"D50", "D50 (500)= 4 \u00B5m", "D50 (500)= 10 \u00B5m", 0x14},
    {"D40", "D40 (400)= 5 \u00B5m", "D40 (400)= 12.5 \u00B5m", 0x15},
    {"D32", "D32 (320)= 6.25 \u00B5m", "D32 (320)= 15.625 \u00B5m", 0x18},
    {"08B", "08B (256)= 7.8125 \u00B5m", "08B (256)= 19.531 \u00B5m", 0x08},
    {"D25", "D25 (250)= 8 \u00B5m", "D25 (250)= 20 \u00B5m", 0x16},
    {"D20", "D20 (200)= 10 \u00B5m", "D20 (200)= 25 \u00B5m", 0x1C},
    {"D16", "D16 (160)= 12.5 \u00B5m", "D16 (160)= 31.25 \u00B5m", 0x19},
    {"07B", "07B (128)= 15.625 \u00B5m", "07B (128)= 30.0625 \u00B5m", 0x09},
    {"D10", "D10 (100)= 20 \u00B5m", "D10 (100)= 50 \u00B5m", 0x1D},
    {"D08", "D08 (80)= 25 \u00B5m", "D08 (80)= 62.5 \u00B5m", 0x1A},
    {"06B", "06B (64)= 31.25 \u00B5m", "06B (64)= 78.125 \u00B5m", 0x0A},
    {"D05", "D05 (50)= 40 \u00B5m", "D05 (50)= 100 \u00B5m", 0x1E},
    {"D04", "D04 (40)= 50 \u00B5m", "D04 (40)= 125 \u00B5m", 0x1B},
    {"05B", "05B (32)= 62.5 \u00B5m", "05B (32)= 156.25 \u00B5m", 0x0B},
    {"04B", "04B (16)= 125 \u00B5m", "04B (16)= 312.5 \u00B5m", 0x0C},
    {"03B", "03B (8)= 250 \u00B5m", "03B (8)= 625 \u00B5m", 0x0D},
}};

constexpr std::array<EdgeSeparationRow, 9> kEdgeTable1 = {{
    {"0.12 \u00B5s (8.3 MHz)", 120, 0x43, 4},
    {"0.5 \u00B5s (2 MHz)", 500, 0x41, 4},
    {"1 \u00B5s (1 MHz)", 1000, 0x00, 10},
    {"2 \u00B5s (0.5 MHz)", 2000, 0x00, 20},
    {"4 \u00B5s (0.25 MHz)", 4000, 0x00, 40},
    {"5 \u00B5s (0.20 MHz)", 5000, 0x00, 50},
    {"10 \u00B5s (0.10 MHz)", 10000, 0x00, 102},
    {"20 \u00B5s (0.05 MHz)", 20000, 0x00, 204},
    {"25 \u00B5s (0.04 MHz)", 25000, 0x00, 255},
}};

constexpr std::array<EdgeSeparationRow, 10> kEdgeTable2 = {{
    {"0.07 \u00B5s (14 MHz)", 70, 0x43, 2},
    {"0.09 \u00B5s (11 MHz)", 90, 0x43, 3},
    {"0.12 \u00B5s (8.3 MHz)", 120, 0x43, 5},
    {"0.50 \u00B5s (2 MHz)", 500, 0x00, 5},
    {"1.00 \u00B5s (1 MHz)", 1000, 0x00, 11},
    {"2.00 \u00B5s (0.5 MHz)", 2000, 0x00, 22},
    {"4.00 \u00B5s (0.25 MHz)", 4000, 0x00, 45},
    {"5.00 \u00B5s (0.20 MHz)", 5000, 0x00, 56},
    {"10.0 \u00B5s (0.10 MHz)", 10000, 0x00, 112},
    {"20.0 \u00B5s (0.05 MHz)", 20000, 0x00, 224},
}};
// clang-format on

namespace {
// Each table's set of stored values: its rows' values. The first also holds 4 (mode 0, count 4),
// an older setting that belongs to the first table without a row of its own.
constexpr uint16_t kOlderTable1Value = 4;

template <size_t Rows, size_t Extra>
constexpr std::array<uint16_t, Rows + Extra> ValuesOf(const std::array<EdgeSeparationRow, Rows>& table,
                                                      const std::array<uint16_t, Extra>& extra)
{
    std::array<uint16_t, Rows + Extra> values{};
    for (size_t i = 0; i < Rows; ++i) values[i] = table[i].Value();
    for (size_t i = 0; i < Extra; ++i) values[Rows + i] = extra[i];
    return values;
}

constexpr auto kTable1Values = ValuesOf(kEdgeTable1, std::array<uint16_t, 1>{kOlderTable1Value});
constexpr auto kTable2Values = ValuesOf(kEdgeTable2, std::array<uint16_t, 0>{});

// Lower-case ASCII, with either mu written as "u", so that a row text can be typed in any case
// on a keyboard without the micro sign.
std::string Folded(std::string_view text)
{
    static constexpr std::string_view kMicroSign = "\u00B5";
    static constexpr std::string_view kGreekMu = "\u03BC";
    std::string folded;
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with(kMicroSign) || rest.starts_with(kGreekMu)) {
            folded += 'u';
            ++i;  // both are two bytes in UTF-8
            continue;
        }
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    }
    return folded;
}

template <typename Range, typename Value>
bool Contains(const Range& range, Value value)
{
    return std::find(range.begin(), range.end(), value) != range.end();
}
}  // namespace

uint16_t EdgeSeparationValue(std::span<const uint8_t, 16> configBlock)
{
    return SettingsFieldsOf(configBlock).edgeSeparationValue;
}

ProductFamily FamilyOfModel(int model)
{
    if (model == KV26 || model == HXD6) return ProductFamily::B;
    if (model == KV21 || model == KV24 || model == HXD3) return ProductFamily::A;
    return ProductFamily::None;
}

std::string FamilyProductNames(ProductFamily family)
{
    std::vector<std::string> names;
    for (int model = 0; model < kProductModelCount; ++model)
        if (FamilyOfModel(model) == family) names.emplace_back(kProductModelNames[static_cast<size_t>(model)]);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

uint8_t EdgeTableIdOf(uint16_t value)
{
    if (Contains(kTable1Values, value)) return 1;
    if (Contains(kTable2Values, value)) return 2;
    return 0;
}

std::span<const EdgeSeparationRow> EdgeTable(uint8_t edgeTableId)
{
    if (edgeTableId == 1) return kEdgeTable1;
    if (edgeTableId == 2) return kEdgeTable2;
    return {};
}

int ResolutionRowOfCode(uint8_t resolutionCode)
{
    const auto row = std::find_if(kResolutionRows.begin(), kResolutionRows.end(),
                                  [resolutionCode](const ResolutionRow& r) { return r.code == resolutionCode; });
    return row == kResolutionRows.end() ? -1 : static_cast<int>(row - kResolutionRows.begin());
}

int EdgeRowOfNanoseconds(uint8_t edgeTableId, int nanoseconds)
{
    const auto table = EdgeTable(edgeTableId);
    const auto row = std::find_if(table.begin(), table.end(),
                                  [nanoseconds](const EdgeSeparationRow& r) { return r.nanoseconds == nanoseconds; });
    return row == table.end() ? -1 : static_cast<int>(row - table.begin());
}

std::optional<NamedResolution> ResolutionRowNamed(std::string_view typed)
{
    const std::string wanted = Folded(typed);
    for (int row = 0; row < static_cast<int>(kResolutionRows.size()); ++row) {
        const ResolutionRow& r = kResolutionRows[row];
        if (wanted == Folded(r.designation)) return NamedResolution{row, ProductFamily::None};
        if (wanted == Folded(r.textA)) return NamedResolution{row, ProductFamily::A};
        if (wanted == Folded(r.textB)) return NamedResolution{row, ProductFamily::B};
    }
    return std::nullopt;
}

int EdgeRowOfValue(uint8_t edgeTableId, uint16_t value)
{
    const auto table = EdgeTable(edgeTableId);
    const auto row =
        std::find_if(table.begin(), table.end(), [value](const EdgeSeparationRow& r) { return r.Value() == value; });
    return row == table.end() ? -1 : static_cast<int>(row - table.begin());
}

const MessageText* ResolutionWarning(const ResolutionRow& resolution)
{
    const std::string_view designation = resolution.designation;
    if (designation == "04B") return &messages::kResolution04BWarning;
    if (designation == "03B") return &messages::kResolution03BWarning;
    return nullptr;
}

}  // namespace commands
