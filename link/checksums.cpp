// The settings CRC-8 (polynomial 0x27, MSB first, no reflection, no final XOR) and the product
// record's additive checksum.
#include <numeric>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

uint8_t Crc8OfText(std::u16string_view text, int32_t polynomial, int32_t start)
{
    // Bits above 7 never feed back into the low byte, so a character's high byte is inert.
    auto r = static_cast<uint32_t>(start);
    for (const char16_t ch : text) {
        r ^= ch;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80) ? (r << 1) ^ static_cast<uint32_t>(polynomial) : r << 1;
    }
    return static_cast<uint8_t>(r & 0xFF);
}

void BuildCrcTable()
{
    for (uint32_t i = 0; i < DeviceModel.CrcTable.size(); ++i) {
        const char16_t single[1] = {static_cast<char16_t>(i)};
        DeviceModel.CrcTable[i] = Crc8OfText({single, 1}, kCrcPolynomial, 0);
    }
}

uint8_t ComputeConfigCrc(std::span<const uint8_t> bytes, uint32_t count, uint8_t start)
{
    // The last byte of the sequence is where the CRC goes, so it is never covered.
    const size_t n = bytes.empty() ? 0 : std::min<size_t>(count, bytes.size() - 1);
    uint8_t c = start;
    for (size_t i = 0; i < n; ++i) c = static_cast<uint8_t>(DeviceModel.CrcTable[c ^ bytes[i]]);
    return c;
}

uint8_t SumChecksum(std::span<const uint8_t> bytes)
{
    const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0u);
    return static_cast<uint8_t>(256 - (sum & 0xFF));
}

uint8_t ComputeRecordChecksum()
{
    return SumChecksum(RecordBytesOfModel());
}
