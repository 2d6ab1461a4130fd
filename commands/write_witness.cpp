#include "commands/write_witness.h"

#include "commands/settings_codec.h"
#include "link/Procedure_Tarv_Config.h"

namespace {
WriteWitness* installed = nullptr;
}

void InstallWriteWitness(WriteWitness* witness)
{
    installed = witness;
}

WriteWitness* InstalledWriteWitness()
{
    return installed;
}

StoreWitness::StoreWitness(std::filesystem::path dataFolder, std::string program, std::ostream& errors,
                           std::function<int64_t()> unixSecondsNow)
    : dataFolder_(std::move(dataFolder)), program_(std::move(program)), errors_(errors), now_(std::move(unixSecondsNow))
{
}

void StoreWitness::BeforeWriting(std::string_view command, const eeprom::Image& memory)
{
    store::JournalEntry entry;
    entry.program = program_;
    entry.command = command;
    entry.port = SerialChannel.portName;
    entry.product = FieldText(DeviceModel.ProductName);
    entry.serial = FieldText(DeviceModel.SerialNumber);
    entry.before = DescribeSettings(DeviceModel.ConfigBlock, FamilyOfFlags());
    const store::KeptImage kept = store::KeepImage(dataFolder_, memory, entry.product, entry.serial, now_());
    if (kept.fileName.empty())
        Complain("cannot keep the encoder's image: " + kept.error);
    else
        entry.image = kept.fileName;
    begun_.push_back(std::move(entry));
}

void StoreWitness::AfterWriting(std::string_view result, const std::optional<SettingsReport>& after)
{
    if (begun_.empty()) return;
    store::JournalEntry entry = std::move(begun_.back());
    begun_.pop_back();
    entry.time = UtcTimestamp(now_());
    entry.result = result;
    entry.after = after;
    if (const std::string error = store::AppendToJournal(dataFolder_, entry); !error.empty())
        Complain("cannot append to the journal: " + error);
}

void StoreWitness::Complain(const std::string& what)
{
    errors_ << "tarv-configurator: " << what << "\n" << std::flush;
}
