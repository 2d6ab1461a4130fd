#include "commands/encoder_report.h"

#include "commands/device_watch.h"
#include "commands/settings_tables.h"
#include "link/encoder_decode.h"

namespace commands {

namespace {

void AppendUtf8(std::string& text, uint8_t byte)
{
    if (byte < 0x80) {
        text += static_cast<char>(byte);
        return;
    }
    text += static_cast<char>(0xC0 | (byte >> 6));
    text += static_cast<char>(0x80 | (byte & 0x3F));
}

}  // namespace

std::string SettingsReport::ResolutionDesignation() const
{
    return resolutionRow ? kResolutionRows.at(static_cast<size_t>(*resolutionRow)).designation : std::string();
}

std::string SettingsReport::ResolutionText() const
{
    return resolutionRow ? kResolutionRows[*resolutionRow].Text(family) : std::string();
}

std::string SettingsReport::EdgeText() const
{
    return edgeRow ? EdgeTable(edgeTable)[*edgeRow].text : std::string();
}

std::optional<int> SettingsReport::EdgeNanoseconds() const
{
    if (!edgeRow) return std::nullopt;
    return EdgeTable(edgeTable)[*edgeRow].nanoseconds;
}

std::string SettingsReport::DirectionWord() const
{
    return directionPositive ? "positive" : "negative";
}

SettingsReport DescribeSettings(std::span<const uint8_t, eeprom::kConfigBlockSize> config, ProductFamily family)
{
    SettingsReport report;
    report.family = family;
    report.resolutionCode = config[eeprom::kResolutionByte] & eeprom::kResolutionMask;
    if (const int row = ResolutionRowOfCode(report.resolutionCode); row >= 0) report.resolutionRow = row;
    report.edgeValue = EdgeSeparationValue(config);
    report.edgeTable = EdgeTableIdOf(report.edgeValue);
    if (const int row = EdgeRowOfValue(report.edgeTable, report.edgeValue); row >= 0) report.edgeRow = row;
    const bool directionBit = (config[eeprom::kDirectionByte] & eeprom::kDirectionMask) != 0;
    report.directionPositive = DirectionOfBit(directionBit, family) == Direction::Positive;
    return report;
}

namespace {
// `family`: none to name the settings by the lists of the product that the record names.
EncoderReport Described(const DecodedEncoder& encoder, std::optional<ProductFamily> family)
{
    EncoderReport report;
    report.model = ProductModelOfName(encoder.record.productName);
    report.product = FieldText(encoder.record.productName);
    report.serial = FieldText(encoder.record.serialNumber);
    report.manufactured = DayNumberFromBytes(encoder.record.manufactured);
    report.lastChanged = DayNumberFromBytes(encoder.record.lastChanged);
    report.format = encoder.format;
    report.configCrcOk = encoder.configCrcOk;
    report.recordChecksumOk = encoder.recordChecksumOk;
    report.settings = DescribeSettings(encoder.configBlock, family.value_or(FamilyOfModel(report.model)));
    return report;
}
}  // namespace

EncoderReport DescribeEncoder(const eeprom::Image& memory)
{
    return Described(Decode(memory), std::nullopt);
}

EncoderReport DescribeEncoder(const eeprom::Image& memory, ProductFamily family)
{
    return Described(Decode(memory), family);
}

std::string FieldText(std::span<const uint8_t> bytes)
{
    std::string text;
    for (const uint8_t byte : bytes) {
        if (byte == 0) break;
        const bool control = byte < 0x20 || (byte >= 0x7F && byte < 0xA0);
        AppendUtf8(text, control ? '?' : byte);
    }
    return text;
}

std::vector<ByteChange> ImageChanges(const eeprom::Image& before, const eeprom::Image& after)
{
    std::vector<ByteChange> changes;
    for (int address = 0; address < eeprom::kImageSize; ++address)
        if (before[address] != after[address]) changes.push_back({address, before[address], after[address]});
    return changes;
}

}  // namespace commands
