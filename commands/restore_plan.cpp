#include "commands/restore_plan.h"

#include <algorithm>
#include <string>

namespace commands {

ImageToRestore CheckImageToRestore(std::span<const uint8_t> file, bool force)
{
    ImageToRestore image;
    image.size = file.size();
    if (file.size() != eeprom::kImageSize) {
        image.fault = ImageFault::WrongSize;
        return image;
    }
    std::copy(file.begin(), file.end(), image.bytes.begin());
    image.report = DescribeEncoder(image.bytes);
    if (force) return image;
    if (!image.report.configCrcOk)
        image.fault = ImageFault::SettingsCrcBroken;
    else if (!image.report.recordChecksumOk)
        image.fault = ImageFault::RecordChecksumBroken;
    return image;
}

namespace {

std::string IdentityText(const EncoderReport& encoder)
{
    return encoder.product + " " + encoder.serial;
}

std::vector<IdentityField> DifferingFields(const EncoderIdentity& image, const EncoderIdentity& encoder)
{
    std::vector<IdentityField> fields;
    if (image.product != encoder.product) fields.push_back(IdentityField::Product);
    if (image.serial != encoder.serial) fields.push_back(IdentityField::Serial);
    if (image.format1Counter && encoder.format1Counter && *image.format1Counter != *encoder.format1Counter)
        fields.push_back(IdentityField::Format1Counter);
    return fields;
}

}  // namespace

RestorePlan PlanRestore(const eeprom::Image& read, const ImageToRestore& image, bool force)
{
    RestorePlan plan;
    plan.encoder = DescribeEncoder(read);
    plan.onEncoder = IdentityOfImage(read);
    plan.ofImage = IdentityOfImage(image.bytes);
    plan.anotherEncoder = !SameEncoder(plan.onEncoder, plan.ofImage) && !force;
    plan.sameText = IdentityText(plan.encoder) == IdentityText(image.report);
    if (plan.sameText) plan.differing = DifferingFields(plan.ofImage, plan.onEncoder);
    return plan;
}

}  // namespace commands
