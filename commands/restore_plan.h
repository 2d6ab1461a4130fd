// What restoring an image into the encoder whose memory was just read would do: whether the file
// is an image that may be written (128 bytes, both checksums holding unless forced), and whether
// it is this encoder's, told by the identity's bytes, never by their text. Nothing is sent,
// nothing is shown: the caller words the decision.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "commands/encoder_report.h"
#include "link/encoder_identity.h"

namespace commands {

enum class ImageFault {
    WrongSize,          // not 128 bytes
    SettingsCrcBroken,  // checked first, as the settings block comes first
    RecordChecksumBroken,
};

struct ImageToRestore {
    std::optional<ImageFault> fault;  // none when it may be written
    size_t size = 0;                  // the file's bytes
    eeprom::Image bytes{};            // zeros when the size is wrong
    EncoderReport report;             // the image described, when the size is right
};

// A broken checksum is no fault when `force`: the image is written as it is.
ImageToRestore CheckImageToRestore(std::span<const uint8_t> file, bool force);

// The identity fields in which two encoders whose texts agree differ.
enum class IdentityField { Product, Serial, Format1Counter };

struct RestorePlan {
    EncoderReport encoder;                 // as read
    EncoderIdentity onEncoder;             // the identity read
    EncoderIdentity ofImage;               // the image's
    bool anotherEncoder = false;           // refused: the image is another encoder's, and not forced
    bool sameText = false;                 // both read alike as text: product, a space, serial
    std::vector<IdentityField> differing;  // where the bytes differ, when the texts agree
};

RestorePlan PlanRestore(const eeprom::Image& read, const ImageToRestore& image, bool force);

}  // namespace commands
