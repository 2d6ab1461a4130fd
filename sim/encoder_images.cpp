#include "sim/encoder_images.h"

#include <algorithm>

#include "link/Procedure_Tarv_Config.h"

namespace sim {
namespace {
// Bytes that the program never touches get a recognisable pattern, so a test can see them survive.
constexpr uint8_t kFillerByte = 0xA5;

void PutText(eeprom::Image& image, int address, const std::string& text, size_t width)
{
    for (size_t i = 0; i < width; ++i) image[address + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
}

void PutDate(eeprom::Image& image, int address, const CivilDate& date)
{
    const DayBytes bytes = DayNumberToBytes(DayNumberFromDate(date));
    std::copy(bytes.begin(), bytes.end(), image.begin() + address);
}

eeprom::Image BaseImage(const ConfigBytes& config)
{
    eeprom::Image image{};
    image.fill(kFillerByte);
    std::copy(config.begin(), config.end(), image.begin() + eeprom::kConfigBlockAddress);
    std::copy(kSimDeviceTag.begin(), kSimDeviceTag.end(), image.begin() + eeprom::kDeviceTagAddress);
    return image;
}

uint8_t Crc8(std::span<const uint8_t> bytes)
{
    const std::u16string text(bytes.begin(), bytes.end());
    return Crc8OfText(text, kCrcPolynomial, 0);
}
}  // namespace

ConfigBytes MakeConfigBlock(uint8_t resolutionCode, bool directionSet, uint16_t edgeSeparationValue)
{
    ConfigBytes config = {0xC0, 0x11, 0x45, 0x22, 0x00, 0x80, 0x31, 0x32,
                          0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x00};
    config[eeprom::kResolutionByte] |= resolutionCode & eeprom::kResolutionMask;
    if (directionSet) config[eeprom::kDirectionByte] |= eeprom::kDirectionMask;
    config[eeprom::kEdgeSeparationCountByte] = static_cast<uint8_t>(edgeSeparationValue & 0xFF);
    config[eeprom::kEdgeModeByte] |= static_cast<uint8_t>((edgeSeparationValue >> 8) & eeprom::kEdgeModeMask);
    config[eeprom::kConfigCrcByte] = Crc8(std::span(config).first(eeprom::kConfigCrcByte));
    return config;
}

eeprom::Image Format2Image(const ProductRecordSpec& record, const ConfigBytes& config)
{
    namespace f2 = eeprom::format2;
    eeprom::Image image = BaseImage(config);
    image[f2::kFormatVersion] = eeprom::kFormat2;
    PutText(image, f2::kProductName, record.name, 4);
    std::copy(record.carried.begin(), record.carried.end(), image.begin() + f2::kCarriedBytes);
    PutText(image, f2::kSerialNumber, record.serial, 6);
    PutDate(image, f2::kManufacturedDate, record.manufactured);
    PutDate(image, f2::kLastChangedDate, record.lastChanged);
    image[f2::kRecordChecksum] =
        SumChecksum(std::span(image).subspan(eeprom::kProductRecordAddress, eeprom::kProductRecordSize - 1));
    return image;
}

eeprom::Image Format1Image(const ProductRecordSpec& record, uint16_t serialCounter, const ConfigBytes& config)
{
    namespace f1 = eeprom::format1;
    eeprom::Image image = BaseImage(config);
    image[f1::kFormatVersion] = eeprom::kFormat1;
    PutText(image, f1::kProductName, record.name, 4);
    std::copy(record.carried.begin(), record.carried.end(), image.begin() + f1::kCarriedBytes);
    PutText(image, f1::kSerialPrefix, record.serial, 2);
    image[f1::kSerialCounter] = static_cast<uint8_t>(serialCounter >> 8);
    image[f1::kSerialCounter + 1] = static_cast<uint8_t>(serialCounter);
    PutDate(image, f1::kManufacturedDate, record.manufactured);
    PutDate(image, f1::kLastChangedDate, record.lastChanged);
    image[f1::kRecordChecksum] = SumChecksum(std::span(image).subspan(eeprom::kProductRecordAddress, 19));
    return image;
}

eeprom::Image BlankImage(uint8_t formatByte, const ConfigBytes& config)
{
    eeprom::Image image = BaseImage(config);
    std::fill_n(image.begin() + eeprom::kProductRecordAddress, eeprom::kProductRecordSize, formatByte);
    return image;
}

}  // namespace sim
