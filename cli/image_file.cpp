#include "cli/image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

FileContents ReadWholeFile(const std::string& path)
{
    FileContents contents;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        contents.error = path + ": " + std::strerror(errno);
        return contents;
    }
    uint8_t chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
    if (std::ferror(file)) contents.error = path + ": " + std::strerror(errno);
    std::fclose(file);
    return contents;
}

std::optional<eeprom::Image> AsImage(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() != eeprom::kImageSize) return std::nullopt;
    eeprom::Image image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

}  // namespace cli
