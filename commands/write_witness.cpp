#include "commands/write_witness.h"

namespace commands {

StoreWitness::StoreWitness(std::filesystem::path dataFolder, std::string program, WitnessVoice voice,
                           WitnessPolicy policy, std::function<int64_t()> unixSecondsNow)
    : dataFolder_(std::move(dataFolder)),
      program_(std::move(program)),
      voice_(std::move(voice)),
      policy_(policy),
      now_(std::move(unixSecondsNow))
{
}

bool StoreWitness::BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image& memory)
{
    lastImage_.reset();
    lastTime_.clear();
    keepError_.clear();
    journalError_.clear();
    store::JournalEntry entry;
    entry.program = program_;
    entry.command = encoder.command;
    entry.port = encoder.port;
    entry.product = encoder.product;
    entry.serial = encoder.serial;
    entry.before = encoder.before;
    if (policy_ != WitnessPolicy::None) {
        const store::KeptImage kept = store::KeepImage(dataFolder_, memory, entry.product, entry.serial, now_());
        if (kept.fileName.empty()) {
            if (policy_ == WitnessPolicy::Required) {
                keepError_ = kept.error;
                return false;
            }
            Complain("cannot keep the encoder's image: " + kept.error);
        } else {
            entry.image = kept.fileName;
            lastImage_ = kept.fileName;
        }
    }
    begun_.push_back(std::move(entry));
    return true;
}

void StoreWitness::AfterWriting(std::string_view result, const std::optional<SettingsReport>& after)
{
    if (begun_.empty()) return;
    store::JournalEntry entry = std::move(begun_.back());
    begun_.pop_back();
    entry.time = UtcTimestamp(now_());
    lastTime_ = entry.time;
    if (policy_ == WitnessPolicy::None) return;
    entry.result = result;
    entry.after = after;
    platform::LockWait wait = lockWait_;
    wait.givenUp = {};
    if (!wait.told) wait.told = [this](const std::string& what) { Complain(what); };
    const std::string error = store::AppendToJournal(dataFolder_, entry, wait);
    if (error.empty()) return;
    if (policy_ == WitnessPolicy::Required)
        journalError_ = error;
    else
        Complain("cannot append to the journal: " + error);
}

void StoreWitness::Complain(const std::string& what)
{
    voice_.errors << voice_.name << ": " << what << "\n" << std::flush;
}

}  // namespace commands
