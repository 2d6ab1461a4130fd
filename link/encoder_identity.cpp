#include "link/encoder_identity.h"

#include <algorithm>
#include <cstdio>

namespace {
// Offsets within the record's head, which starts at the format byte.
constexpr int Offset(int address)
{
    return address - kIdentityAddress;
}
}  // namespace

void ConvertFormat1Serial(std::array<uint8_t, 6>& serial)
{
    const unsigned counter = serial[2] * 256u + serial[3];
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", counter);
    std::copy_n(digits, 4, serial.begin() + 2);
}

EncoderIdentity IdentityOfRecordHead(std::span<const uint8_t, kIdentitySize> head)
{
    EncoderIdentity identity;
    const uint8_t format = head[Offset(eeprom::format2::kFormatVersion)];
    if (format == eeprom::kFormat1) {
        namespace f1 = eeprom::format1;
        std::copy_n(head.begin() + Offset(f1::kProductName), 4, identity.product.begin());
        std::copy_n(head.begin() + Offset(f1::kSerialPrefix), 4, identity.serial.begin());
        identity.format1Counter = static_cast<uint16_t>(identity.serial[2] * 256u + identity.serial[3]);
        ConvertFormat1Serial(identity.serial);
    } else if (format == eeprom::kFormat2) {
        namespace f2 = eeprom::format2;
        std::copy_n(head.begin() + Offset(f2::kProductName), 4, identity.product.begin());
        std::copy_n(head.begin() + Offset(f2::kSerialNumber), 6, identity.serial.begin());
    }
    return identity;
}

EncoderIdentity IdentityOfImage(const eeprom::Image& image)
{
    return IdentityOfRecordHead(std::span(image).subspan<kIdentityAddress, kIdentitySize>());
}

bool SameEncoder(const EncoderIdentity& a, const EncoderIdentity& b)
{
    if (a.product != b.product || a.serial != b.serial) return false;
    return !a.format1Counter || !b.format1Counter || *a.format1Counter == *b.format1Counter;
}
