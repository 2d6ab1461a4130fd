#include "link/encoder_decode.h"

#include <algorithm>

#include "link/Procedure_Tarv_Config.h"
#include "link/encoder_identity.h"

namespace {

template <size_t N>
std::array<uint8_t, N> Field(const eeprom::Image& image, int address)
{
    std::array<uint8_t, N> field{};
    std::copy_n(image.begin() + address, N, field.begin());
    return field;
}

EncoderRecord Format1Record(const eeprom::Image& image)
{
    namespace f1 = eeprom::format1;
    EncoderRecord record;
    record.productName = Field<4>(image, f1::kProductName);
    record.carriedBytes = Field<2>(image, f1::kCarriedBytes);
    std::copy_n(image.begin() + f1::kSerialPrefix, 4, record.serialNumber.begin());
    ConvertFormat1Serial(record.serialNumber);
    record.manufactured = Field<4>(image, f1::kManufacturedDate);
    record.lastChanged = Field<4>(image, f1::kLastChangedDate);
    record.checksum = image[f1::kRecordChecksum];
    return record;
}

EncoderRecord Format2Record(const eeprom::Image& image)
{
    namespace f2 = eeprom::format2;
    EncoderRecord record;
    record.productName = Field<4>(image, f2::kProductName);
    record.carriedBytes = Field<2>(image, f2::kCarriedBytes);
    record.serialNumber = Field<6>(image, f2::kSerialNumber);
    record.manufactured = Field<4>(image, f2::kManufacturedDate);
    record.lastChanged = Field<4>(image, f2::kLastChangedDate);
    record.checksum = image[f2::kRecordChecksum];
    return record;
}

bool ConfigCrcHolds(const eeprom::Image& image)
{
    const auto config = std::span(image).first(eeprom::kConfigBlockSize);
    return ComputeConfigCrc(config, eeprom::kConfigCrcByte, 0) == image[eeprom::kConfigCrcByte];
}

// A record with its checksum sums to zero; format 1 ends at byte 91, format 2 at 93.
bool RecordChecksumHolds(const eeprom::Image& image, uint8_t format)
{
    int end = 0;
    if (format == eeprom::kFormat2) end = eeprom::format2::kRecordChecksum;
    if (format == eeprom::kFormat1) end = eeprom::format1::kRecordChecksum;
    if (end == 0) return false;
    const auto record =
        std::span(image).subspan(eeprom::kProductRecordAddress, end + 1 - eeprom::kProductRecordAddress);
    return SumChecksum(record) == 0;
}

}  // namespace

SettingsFields SettingsFieldsOf(std::span<const uint8_t, eeprom::kConfigBlockSize> configBlock)
{
    SettingsFields fields;
    fields.resolutionCode = configBlock[eeprom::kResolutionByte] & eeprom::kResolutionMask;
    fields.edgeSeparationValue =
        static_cast<uint16_t>((configBlock[eeprom::kEdgeModeByte] & eeprom::kEdgeModeMask) << 8 |
                              configBlock[eeprom::kEdgeSeparationCountByte]);
    fields.directionBit = (configBlock[eeprom::kDirectionByte] & eeprom::kDirectionMask) != 0;
    return fields;
}

DecodedEncoder Decode(const eeprom::Image& image)
{
    DecodedEncoder encoder;
    encoder.format = image[eeprom::format2::kFormatVersion];
    if (encoder.format == eeprom::kFormat1) encoder.record = Format1Record(image);
    if (encoder.format == eeprom::kFormat2) encoder.record = Format2Record(image);
    encoder.configBlock = Field<eeprom::kConfigBlockSize>(image, eeprom::kConfigBlockAddress);
    encoder.deviceTag = Field<eeprom::kDeviceTagSize>(image, eeprom::kDeviceTagAddress);
    encoder.settings = SettingsFieldsOf(encoder.configBlock);
    encoder.configCrcOk = ConfigCrcHolds(image);
    encoder.recordChecksumOk = RecordChecksumHolds(image, encoder.format);
    return encoder;
}

std::array<uint8_t, eeprom::kProductRecordSize - 1> Format2RecordBody(const EncoderRecord& record)
{
    std::array<uint8_t, eeprom::kProductRecordSize - 1> body{};
    auto out = body.begin();
    *out++ = eeprom::kFormat2;
    out = std::copy(record.productName.begin(), record.productName.end(), out);
    out = std::copy(record.carriedBytes.begin(), record.carriedBytes.end(), out);
    out = std::copy(record.serialNumber.begin(), record.serialNumber.end(), out);
    out = std::copy(record.manufactured.begin(), record.manufactured.end(), out);
    std::copy(record.lastChanged.begin(), record.lastChanged.end(), out);
    return body;
}
