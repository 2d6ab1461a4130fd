// The file that `backup FILE` makes: the 128 bytes go to a temporary file of this run's own beside
// FILE (made new: never one that is there, nor where a link points), on disk, and only then take
// FILE's name. Without --force a file that has the name is never replaced; with it, only a
// regular file is: a device, a FIFO, a folder or a link named as FILE is always kept.
#pragma once

#include <filesystem>
#include <string>

#include "model/Spremenljivke_Tarv_Config.h"

namespace cli {

class BackupFile {
public:
    BackupFile(std::filesystem::path path, bool replace);

    // Before the encoder is read: why FILE cannot be made or replaced; empty when it can.
    std::string Check() const;
    // Empty when FILE holds `memory`, else why not; nothing of this run is left behind.
    std::string Keep(const eeprom::Image& memory) const;

private:
    std::string WhyKept() const;  // why the file that has FILE's name stays; empty when none does

    std::filesystem::path path_;
    bool replace_;
};

}  // namespace cli
