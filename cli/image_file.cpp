#include "cli/image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cli {

FileContents ReadInputFile(const std::string& path, size_t maxBytes)
{
    FileContents contents;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) {
        contents.error = path + ": " + error.message();
        return contents;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        contents.error = path + ": not a regular file";
        return contents;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        contents.error = path + ": " + std::strerror(errno);
        return contents;
    }
    contents.bytes.resize(maxBytes + 1);
    contents.bytes.resize(std::fread(contents.bytes.data(), 1, contents.bytes.size(), file));
    if (std::ferror(file))
        contents.error = path + ": " + std::strerror(errno);
    else if (contents.bytes.size() > maxBytes)
        contents.error = path + ": too long (more than " + std::to_string(maxBytes) + " bytes)";
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
