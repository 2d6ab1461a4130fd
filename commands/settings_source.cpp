#include "commands/settings_source.h"

#include <algorithm>

#include "commands/device_watch.h"
#include "commands/encoder_report.h"

namespace commands {

namespace {
int ProductModelOfText(const std::string& text)
{
    std::array<uint8_t, 4> name{};
    if (text.size() != name.size()) return -1;
    std::copy(text.begin(), text.end(), name.begin());
    return ProductModelOfName(name);
}
}  // namespace

std::optional<UnreadableSettings> WhyUnreadable(const SettingsSource& source)
{
    if (source.format && *source.format != eeprom::kFormat1 && *source.format != eeprom::kFormat2)
        return UnreadableSettings::BlankRecord;
    if (!source.product || source.product->empty()) return UnreadableSettings::NoProduct;
    if (ProductModelOfText(*source.product) < 0) return UnreadableSettings::UnknownProduct;
    if (source.configCrcOk == false) return UnreadableSettings::ConfigCrcFails;
    if (source.recordChecksumOk == false) return UnreadableSettings::RecordChecksumFails;
    if (!source.configCrcOk || !source.recordChecksumOk) return UnreadableSettings::ChecksumsNotSaid;
    return std::nullopt;
}

SettingsSource SourceOfImage(const eeprom::Image& image)
{
    const EncoderReport report = DescribeEncoder(image);
    return {report.format, report.product, report.configCrcOk, report.recordChecksumOk};
}

}  // namespace commands
