// `history`: the journal's lines, newest last, as a table or as the JSON lines they are.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>

#include "cli/cli_commands.h"
#include "commands/image_store.h"

using namespace commands;

namespace cli {
namespace {

std::string Field(const nlohmann::json& line, const char* key)
{
    const auto found = line.find(key);
    if (found == line.end() || found->is_null()) return "-";
    return found->is_string() ? found->get<std::string>() : found->dump();
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// A product is named in any case, as --resolution is; a serial number as it is stored.
bool Wanted(const nlohmann::json& line, const CliOptions& options)
{
    return (options.serial.empty() || Field(line, "serial") == options.serial) &&
           (options.product.empty() || SameIgnoringCase(Field(line, "product"), options.product));
}

constexpr const char* kColumns[] = {"time", "program", "command", "product", "serial", "result", "image"};

std::string Table(const std::vector<nlohmann::json>& lines)
{
    std::vector<std::vector<std::string>> rows = {{"TIME", "PROGRAM", "COMMAND", "PRODUCT", "SERIAL", "RESULT", "IMAGE"}};
    for (const nlohmann::json& line : lines) {
        std::vector<std::string> row;
        for (const char* column : kColumns) row.push_back(Field(line, column));
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
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(journal, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        context.err << "tarv-cli: no journal yet (" << journal.string() << ")\n";
        return AsInt(ExitCode::Done);
    }
    // A journal that is there but cannot be read is not an empty history.
    const auto unreadable = [&](const std::string& reason) {
        context.err << "tarv-cli: the journal cannot be read: " << journal.string() << ": " << reason << "\n";
        return AsInt(ExitCode::RecordNotWritten);
    };
    if (error) return unreadable(error.message());
    if (status.type() != std::filesystem::file_type::regular) return unreadable("not a regular file");
    std::ifstream in(journal, std::ios::binary);
    if (!in) return unreadable(std::strerror(errno));
    std::vector<nlohmann::json> lines;
    std::vector<std::string> texts;
    int unreadLines = 0;
    for (std::string text; std::getline(in, text);) {
        nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
        if (!line.is_object()) {  // a torn or foreign line is left out, and counted
            ++unreadLines;
            continue;
        }
        if (!Wanted(line, options)) continue;
        lines.push_back(std::move(line));
        texts.push_back(text);
    }
    if (in.bad()) return unreadable(std::strerror(errno));
    if (unreadLines > 0)
        context.err << "tarv-cli: " << unreadLines << (unreadLines == 1 ? " line" : " lines") << " of "
                    << journal.string() << " could not be read and " << (unreadLines == 1 ? "is" : "are")
                    << " left out\n";
    if (options.quiet) return AsInt(ExitCode::Done);
    if (options.json)
        for (const std::string& text : texts) context.out << text << "\n";
    else
        context.out << Table(lines);
    return AsInt(ExitCode::Done);
}

}  // namespace cli
