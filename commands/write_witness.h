// Hears every write to an encoder (PROG's sixteen blocks, READ's repair of a blank record, a
// restore): the memory as it was read, before the first block, and how the write ended. The store
// witness keeps that memory as an image and journals the write, under a policy: the window's
// writes go on when the store cannot be written, tarv-cli's do not begin without their image.
// A command that writes is handed its witness, or none (nullptr): two commands on one thread each
// tell only their own.
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

enum class WitnessPolicy {
    Required,    // no image kept, nothing written; a journal line that fails is the caller's to tell
    BestEffort,  // a store that cannot be written is told in a line, and the write goes on
    None,        // nothing kept, nothing journaled
};

// Where a witness tells what its user should know (a store that cannot be written, a wait for a
// lock), and the name of the program that begins each of its lines: "tarv-cli: cannot keep ...".
struct WitnessVoice {
    std::ostream& errors;
    std::string name;  // "tarv-cli", "tarv-configurator"
};

// Keeps the image and the journal line of each write. Commands nest in the window (a key pressed
// while one waits starts another), so the writes that have begun and not ended are a stack.
class StoreWitness final : public WriteWitness {
public:
    // `program` is the program as the journal names it ("cli", "window"); `voice`, as its lines do.
    StoreWitness(std::filesystem::path dataFolder, std::string program, WitnessVoice voice,
                 WitnessPolicy policy = WitnessPolicy::BestEffort,
                 std::function<int64_t()> unixSecondsNow = UnixSecondsNow);

    bool BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image& memory) override;
    void AfterWriting(std::string_view result, const std::optional<SettingsReport>& after) override;

    // How a journal line waits for another program's lock on the journal: `wait.told` hears what
    // for (by default a line in the witness's voice, as a store that cannot be written is told),
    // `wait.clock` times it. The wait is bounded, and a write that has begun never gives its line
    // up for a stop.
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
    WitnessVoice voice_;
    WitnessPolicy policy_;
    std::function<int64_t()> now_;
    platform::LockWait lockWait_;
    std::vector<store::JournalEntry> begun_;
    std::optional<std::string> lastImage_;
    std::string lastTime_;
    std::string keepError_;
    std::string journalError_;
};

}  // namespace commands
