// The settings CRC-8 (polynomial 0x27, MSB first, no reflection, no final XOR) and the additive
// checksum that the product record carries.
#include <numeric>

#include "link/Procedure_Tarv_Config.h"

uint8_t ComputeConfigCrc(std::span<const uint8_t> bytes, uint32_t count, uint8_t start)
{
    // The last byte of the sequence is where the CRC goes, so it is never covered.
    const size_t n = bytes.empty() ? 0 : std::min<size_t>(count, bytes.size() - 1);
    uint8_t c = start;
    for (size_t i = 0; i < n; ++i) c = static_cast<uint8_t>(CrcTable[c ^ bytes[i]]);
    return c;
}

uint8_t SumChecksum(std::span<const uint8_t> bytes)
{
    const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0u);
    return static_cast<uint8_t>(256 - (sum & 0xFF));
}
