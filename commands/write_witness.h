// Hears every write to an encoder (PROG's sixteen blocks, READ's repair of a blank record, a
// restore): the memory as it was read, before the first block, and how the write ended. The store
// witness keeps that memory as an image and journals the write, under a policy: the window's
// writes go on when the store cannot be written, tarv-cli's do not begin without their image.
// The witness installed is the calling thread's: each port's loop can have its own.
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

namespace commands {

// The encoder about to be written, as its journal line names it.
struct WrittenEncoder {
    std::string command;  // "program", "repair", "restore"
    std::string port;
    std::string product;
    std::string serial;
    SettingsReport before;  // as read, before anything was written
};

class WriteWitness {
public:
    virtual ~WriteWitness() = default;
    // `memory` is what was just read. False when the write must not begin.
    virtual bool BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image& memory) = 0;
    // `after`: the settings read back, none when nothing could be read back.
    virtual void AfterWriting(std::string_view result, const std::optional<SettingsReport>& after) = 0;
};

// The witness that the calling thread's commands tell; nullptr for none.
void InstallWriteWitness(WriteWitness* witness);
WriteWitness* InstalledWriteWitness();

enum class WitnessPolicy {
    Required,    // no image kept, nothing written; a journal line that fails is the caller's to tell
    BestEffort,  // a store that cannot be written costs one line on `errors`, and the write goes on
    None,        // nothing kept, nothing journaled
};

// Keeps the image and the journal line of each write. Commands nest in the window (a key pressed
// while one waits starts another), so the writes that have begun and not ended are a stack.
class StoreWitness final : public WriteWitness {
public:
    StoreWitness(std::filesystem::path dataFolder, std::string program, std::ostream& errors,
                 WitnessPolicy policy = WitnessPolicy::BestEffort,
                 std::function<int64_t()> unixSecondsNow = UnixSecondsNow);

    bool BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image& memory) override;
    void AfterWriting(std::string_view result, const std::optional<SettingsReport>& after) override;

    // How a journal line waits for another program's lock on the journal: `wait.told` hears what
    // for (by default a line on `errors`, as a store that cannot be written is told), `wait.clock`
    // times it. The wait is bounded, and a write that has begun never gives its line up for a stop.
    void WaitForLocksAs(platform::LockWait wait) { lockWait_ = std::move(wait); }

    // The last write's: the image's file name when one was kept, and the time of its journal line.
    const std::optional<std::string>& LastImage() const { return lastImage_; }
    const std::string& LastTime() const { return lastTime_; }
    // Under the required policy, why the last write's image was not kept or its line not journaled;
    // empty when both were.
    const std::string& KeepError() const { return keepError_; }
    const std::string& JournalError() const { return journalError_; }

private:
    void Complain(const std::string& what);

    std::filesystem::path dataFolder_;
    std::string program_;
    std::ostream& errors_;
    WitnessPolicy policy_;
    std::function<int64_t()> now_;
    platform::LockWait lockWait_;
    std::vector<store::JournalEntry> begun_;
    std::optional<std::string> lastImage_;
    std::string lastTime_;
    std::string keepError_;
    std::string journalError_;
};

// Installs a witness for the lifetime of a scope and puts the previous one back afterwards.
class ScopedWitness {
public:
    explicit ScopedWitness(WriteWitness* witness) : previous_(InstalledWriteWitness()) { InstallWriteWitness(witness); }
    ~ScopedWitness() { InstallWriteWitness(previous_); }
    ScopedWitness(const ScopedWitness&) = delete;
    ScopedWitness& operator=(const ScopedWitness&) = delete;

private:
    WriteWitness* previous_;
};

}  // namespace commands
