// Hears every write that the window's commands make to an encoder (PROG's sixteen blocks, READ's
// repair of a blank record): the memory as it was read, before the first block, and how the
// command ended. Nothing is installed unless the program installs a witness; tarv-cli keeps its
// images itself, since it refuses to write without one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands/encoder_report.h"
#include "commands/image_store.h"
#include "commands/iso_time.h"

class WriteWitness {
public:
    virtual ~WriteWitness() = default;
    // `memory` is what was just read; DeviceModel holds it loaded.
    virtual void BeforeWriting(std::string_view command, const eeprom::Image& memory) = 0;
    // `after`: the settings read back, none when nothing could be read back.
    virtual void AfterWriting(std::string_view result, const std::optional<SettingsReport>& after) = 0;
};

// The witness that the commands tell; nullptr for none.
void InstallWriteWitness(WriteWitness* witness);
WriteWitness* InstalledWriteWitness();

// Keeps the image and the journal line of each write, without a word to the user: a store that
// cannot be written costs one line on `errors`, and the command goes on as if it were not there.
// Commands nest in the window (a key pressed while one waits starts another), so the writes that
// have begun and not ended are a stack.
class StoreWitness final : public WriteWitness {
public:
    StoreWitness(std::filesystem::path dataFolder, std::string program, std::ostream& errors,
                 std::function<int64_t()> unixSecondsNow = UnixSecondsNow);

    void BeforeWriting(std::string_view command, const eeprom::Image& memory) override;
    void AfterWriting(std::string_view result, const std::optional<SettingsReport>& after) override;

private:
    void Complain(const std::string& what);

    std::filesystem::path dataFolder_;
    std::string program_;
    std::ostream& errors_;
    std::function<int64_t()> now_;
    std::vector<store::JournalEntry> begun_;
};
