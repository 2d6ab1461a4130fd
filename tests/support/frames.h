// The request frames that the commands send, as the adapter sees them.
#pragma once

#include <algorithm>
#include <vector>

#include "model/Spremenljivke_Tarv_Config.h"
#include "support/bytes.h"

// A whole-memory read: four requests of 32 bytes each.
inline std::vector<Bytes> WholeReadFrames()
{
    return {{0x55, 0xA1, 0x00, 0x20}, {0x55, 0xA1, 0x20, 0x20}, {0x55, 0xA1, 0x40, 0x20}, {0x55, 0xA1, 0x60, 0x20}};
}

// The sixteen block writes of a whole image, eight bytes each.
inline std::vector<Bytes> ImageWriteFrames(const eeprom::Image& image)
{
    std::vector<Bytes> frames;
    for (int address = 0; address < eeprom::kImageSize; address += 8) {
        // Sized first: GCC 12 takes an insert into the four-byte head for an overflow once inlined.
        Bytes frame(12);
        frame[0] = 0x55;
        frame[1] = 0xA0;
        frame[2] = static_cast<uint8_t>(address);
        frame[3] = 8;
        std::copy_n(image.begin() + address, 8, frame.begin() + 4);
        frames.push_back(frame);
    }
    return frames;
}

// PROG's exchange when all goes well: fresh read, sixteen blocks, read-back.
inline std::vector<Bytes> ProgrammingFrames(const eeprom::Image& written)
{
    std::vector<Bytes> frames = WholeReadFrames();
    for (const Bytes& frame : ImageWriteFrames(written)) frames.push_back(frame);
    for (const Bytes& frame : WholeReadFrames()) frames.push_back(frame);
    return frames;
}
