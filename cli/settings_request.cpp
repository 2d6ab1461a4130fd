#include "cli/settings_request.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "cli/joined.h"
#include "commands/settings_tables.h"

using namespace commands;

namespace cli {
namespace {

std::string Quoted(std::string_view text)
{
    // Appended rather than concatenated: GCC 12 at -O3 warns wrongly about "'" + std::string.
    std::string quoted(1, '\'');
    quoted.append(text);
    quoted.push_back('\'');
    return quoted;
}

std::vector<std::string> Designations()
{
    std::vector<std::string> all;
    for (int row = 0; row < static_cast<int>(kResolutionRows.size()); ++row) all.push_back(ResolutionDesignation(row));
    return all;
}

std::vector<int> TableNanoseconds(std::span<const EdgeSeparationRow> table)
{
    std::vector<int> values;
    for (const EdgeSeparationRow& row : table) values.push_back(row.nanoseconds);
    return values;
}

// Every value of both tables, smallest first.
std::vector<int> AllTableNanoseconds()
{
    std::set<int> values;
    for (const uint8_t table : {1, 2})
        for (const int value : TableNanoseconds(EdgeTable(table))) values.insert(value);
    return {values.begin(), values.end()};
}

std::string Choices(const std::vector<int>& nanoseconds)
{
    std::vector<std::string> texts;
    for (const int value : nanoseconds) texts.push_back(MicrosecondsText(value));
    return Joined(texts);
}

// A decimal number of microseconds, at most to the nanosecond: "0.5", "10", "0.120".
std::optional<int> ParseMicroseconds(std::string_view text)
{
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if ((whole.empty() && fraction.empty()) || whole.size() > 6 || !std::all_of(whole.begin(), whole.end(), isDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), isDigit))
        return std::nullopt;
    if (point != std::string_view::npos && fraction.empty()) return std::nullopt;  // "1."
    int nanoseconds = 0;
    for (const char c : whole) nanoseconds = nanoseconds * 10 + (c - '0');
    for (size_t i = 0; i < 3; ++i) nanoseconds = nanoseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    // Finer than a nanosecond matches no row; say so rather than round.
    if (fraction.size() > 3 && fraction.substr(3).find_first_not_of('0') != std::string_view::npos) return std::nullopt;
    return nanoseconds;
}

}  // namespace

std::string ResolutionDesignation(int row)
{
    return kResolutionRows.at(static_cast<size_t>(row)).designation;
}

std::string MicrosecondsText(int nanoseconds)
{
    std::string text = std::to_string(nanoseconds / 1000);
    if (const int fraction = nanoseconds % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

Checked<ResolutionChoice> ParseResolution(std::string_view text)
{
    if (const std::optional<NamedResolution> named = ResolutionRowNamed(text))
        return {ResolutionChoice{named->row, named->family}, {}};
    return {std::nullopt, "--resolution: " + Quoted(text) + " is not a resolution; choices: " + Joined(Designations()) +
                              " (or a row's whole text, such as 'D50 (500)= 4 um')"};
}

Checked<int> ParseEdgeSeparation(std::string_view text)
{
    const std::vector<int> all = AllTableNanoseconds();
    const std::optional<int> nanoseconds = ParseMicroseconds(text);
    if (!nanoseconds || std::find(all.begin(), all.end(), *nanoseconds) == all.end())
        return {std::nullopt,
                "--edge-separation: " + Quoted(text) +
                    " is not an edge separation in microseconds of either table; choices: " + Choices(all)};
    return {*nanoseconds, {}};
}

Checked<Direction> ParseDirection(std::string_view text)
{
    const auto is = [text](std::string_view word) {
        return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == b;
               });
    };
    if (is("positive")) return {Direction::Positive, {}};
    if (is("negative")) return {Direction::Negative, {}};
    return {std::nullopt, "--direction: " + Quoted(text) + " is not a direction; choices: positive, negative"};
}

std::string SetResolution(SettingsRequest& request, std::string_view text)
{
    Checked<ResolutionChoice> parsed = ParseResolution(text);
    if (!parsed.value) return parsed.error;
    request.change.resolution = parsed.value;
    request.given.resolution = text;
    return {};
}

std::string SetEdgeSeparation(SettingsRequest& request, std::string_view text)
{
    Checked<int> parsed = ParseEdgeSeparation(text);
    if (!parsed.value) return parsed.error;
    request.change.edgeNanoseconds = parsed.value;
    request.given.edgeSeparation = text;
    return {};
}

std::string RefusalText(ChangeRefusal refusal, const SettingsRequest& request, const EncoderLists& lists)
{
    switch (refusal) {
    case ChangeRefusal::UnknownProduct:
        return "unknown product";
    case ChangeRefusal::ResolutionOfOtherFamily: {
        const ResolutionChoice& resolution = *request.change.resolution;
        return "--resolution: " + Quoted(request.given.resolution) + " is a row of the " +
               FamilyProductNames(resolution.namedFor) +
               " list; on this encoder that row reads " +
               Quoted(kResolutionRows.at(static_cast<size_t>(resolution.row)).Text(lists.ListedFamily())) +
               " (or give just " + ResolutionDesignation(resolution.row) + ")";
    }
    case ChangeRefusal::EdgeTableUnknown:
        return "--edge-separation: the encoder's stored edge separation belongs to neither table, so it cannot be "
               "changed";
    case ChangeRefusal::EdgeNotInTable:
        return "--edge-separation: " + Quoted(request.given.edgeSeparation) + " is not in this encoder's table " +
               std::to_string(lists.edgeTable) + "; choices: " + Choices(TableNanoseconds(EdgeTable(lists.edgeTable)));
    }
    return {};
}

}  // namespace cli
