#include "commands/encoder_report.h"

#include "commands/settings_tables.h"
#include "link/Procedure_Tarv_Config.h"

namespace {

bool ConfigCrcHolds(const eeprom::Image& memory)
{
    const auto config = std::span(memory).first(eeprom::kConfigBlockSize);
    return ComputeConfigCrc(config, eeprom::kConfigCrcByte, 0) == memory[eeprom::kConfigCrcByte];
}

// A record with its checksum sums to zero; format 1 ends at byte 91, format 2 at 93.
bool RecordChecksumHolds(const eeprom::Image& memory)
{
    const uint8_t format = memory[eeprom::format2::kFormatVersion];
    int end = 0;
    if (format == eeprom::kFormat2) end = eeprom::format2::kRecordChecksum;
    if (format == eeprom::kFormat1) end = eeprom::format1::kRecordChecksum;
    if (end == 0) return false;
    const auto record =
        std::span(memory).subspan(eeprom::kProductRecordAddress, end + 1 - eeprom::kProductRecordAddress);
    return SumChecksum(record) == 0;
}

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

EncoderReport DescribeEncoder(const eeprom::Image& memory)
{
    EncoderReport report;
    report.product = FieldText(DeviceModel.ProductName);
    report.serial = FieldText(DeviceModel.SerialNumber);
    report.manufactured = DayNumberFromBytes(DeviceModel.ManufacturedDate);
    report.lastChanged = DayNumberFromBytes(DeviceModel.LastChangedDate);
    report.format = memory[eeprom::format2::kFormatVersion];
    report.configCrcOk = ConfigCrcHolds(memory);
    report.recordChecksumOk = RecordChecksumHolds(memory);
    report.settings = DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags());
    return report;
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

