// `history`: the journal's lines, newest last, as a table or as the JSON lines they are.
#include <algorithm>
#include <iterator>
#include <sstream>

#include "cli/cli_commands.h"
#include "commands/image_store.h"
#include "commands/journal_reading.h"

using namespace commands;

namespace cli {
namespace {

constexpr const char* kColumns[] = {"time", "program", "command", "product", "serial", "result", "image"};

std::string Table(const std::vector<store::JournalRecord>& records)
{
    std::vector<std::vector<std::string>> rows = {{"TIME", "PROGRAM", "COMMAND", "PRODUCT", "SERIAL", "RESULT", "IMAGE"}};
    for (const store::JournalRecord& record : records) {
        std::vector<std::string> row;
        for (const char* column : kColumns) row.push_back(store::JournalField(record.fields, column));
        rows.push_back(std::move(row));
    }
    std::vector<size_t> widths(std::size(kColumns), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    std::ostringstream text;
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            text << row[i];
            if (i + 1 < row.size()) text << std::string(widths[i] - row[i].size() + 2, ' ');
        }
        text << "\n";
    }
    return text.str();
}

}  // namespace

int RunHistory(const CliOptions& options, RunContext& context)
{
    const std::filesystem::path journal = store::JournalPath(context.dataFolder);
    const store::JournalReading reading = store::ReadJournal(context.dataFolder, {options.serial, options.product});
    if (reading.missing) {
        context.err << "tarv-cli: no journal yet (" << journal.string() << ")\n";
        return AsInt(ExitCode::Done);
    }
    if (!reading.error.empty()) {
        context.err << "tarv-cli: the journal cannot be read: " << journal.string() << ": " << reading.error << "\n";
        return AsInt(ExitCode::RecordNotWritten);
    }
    if (const int unread = reading.unreadableLines; unread > 0)
        context.err << "tarv-cli: " << unread << (unread == 1 ? " line" : " lines") << " of " << journal.string()
                    << " could not be read and " << (unread == 1 ? "is" : "are") << " left out\n";
    if (options.quiet) return AsInt(ExitCode::Done);
    if (options.json)
        for (const store::JournalRecord& record : reading.records) context.out << record.text << "\n";
    else
        context.out << Table(reading.records);
    return AsInt(ExitCode::Done);
}

}  // namespace cli
