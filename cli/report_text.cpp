#include "cli/report_text.h"

#include "commands/hex_text.h"
#include "commands/iso_time.h"

using namespace commands;

namespace cli {
namespace {

std::string Row(const char* label, const std::string& value)
{
    std::string line = label;
    line.resize(std::max<size_t>(line.size() + 1, 18), ' ');
    return line + value + "\n";
}

std::string FormatText(uint8_t format)
{
    if (format == eeprom::kFormat1 || format == eeprom::kFormat2) return std::to_string(format);
    return "none (" + HexNumber(format, 2) + ": no record)";
}

std::string Valid(bool ok)
{
    return ok ? "valid" : "invalid";
}

std::string OrDash(const std::optional<std::string>& text)
{
    return text && !text->empty() ? *text : "-";
}

// A blank record's dates are day zero: no date at all.
std::string DateText(int32_t dayNumber)
{
    return dayNumber == 0 ? "-" : IsoDate(dayNumber);
}

std::string BriefSettings(const SettingsReport& s)
{
    const std::string resolution = s.resolutionRow ? s.ResolutionDesignation() : HexNumber(s.resolutionCode, 2);
    const std::string edge = s.edgeRow ? s.EdgeText() : "value " + std::to_string(s.edgeValue);
    return "resolution " + resolution + ", edge separation " + edge + ", direction " + s.DirectionWord();
}

}  // namespace

std::string ResolutionSummary(const SettingsReport& s)
{
    const std::string code = "code " + HexNumber(s.resolutionCode, 2);
    return s.resolutionRow ? s.ResolutionText() + " (" + code + ")" : "no row (" + code + ")";
}

std::string EdgeSeparationSummary(const SettingsReport& s)
{
    const std::string value = "value " + std::to_string(s.edgeValue);
    if (s.edgeTable == 0) return "neither table (" + value + ")";
    const std::string table = "table " + std::to_string(s.edgeTable) + ": ";
    return table + (s.edgeRow ? s.EdgeText() : "no row") + " (" + value + ")";
}

std::string PortsText(const std::vector<PortStatus>& ports)
{
    std::string text;
    for (const PortStatus& port : ports)
        text += Row(port.port.c_str(), port.reason.empty() ? port.status : port.status + " (" + port.reason + ")");
    return text.empty() ? "No serial ports.\n" : text;
}

std::string InfoText(const std::string& port, const EncoderReport& e)
{
    // Settings decoded without their product's lists may mean something else: say so beside them.
    const std::string product =
        e.model >= 0 ? e.product
                     : (e.product.empty() ? "-" : e.product) + " (unknown product: the settings below may mean otherwise)";
    return Row("Port:", port) + Row("Product:", product) + Row("Serial:", e.serial) +
           Row("Manufactured:", DateText(e.manufactured)) + Row("Last changed:", DateText(e.lastChanged)) +
           Row("Format:", FormatText(e.format)) + Row("Resolution:", ResolutionSummary(e.settings)) +
           Row("Edge separation:", EdgeSeparationSummary(e.settings)) + Row("Direction:", e.settings.DirectionWord()) +
           Row("Settings CRC:", Valid(e.configCrcOk)) + Row("Record checksum:", Valid(e.recordChecksumOk));
}

std::string ProgramLine(const ProgramRecord& r)
{
    std::string line =
        r.time + " " + r.port + " " + OrDash(r.product) + " " + OrDash(r.serial) + " " + ResultWord(r.code);
    if (r.code != ExitCode::Done && !r.reason.empty()) line += ": " + r.reason;
    if (r.after)
        line += (r.code == ExitCode::Done ? ": " : "; now ") + BriefSettings(*r.after);
    else if (r.before)
        line += " (before: " + BriefSettings(*r.before) + ")";
    return line + "\n";
}

std::string DryRunText(const DryRunReport& r)
{
    std::string text =
        Row("Port:", r.port) + Row("Product:", r.product) + Row("Serial:", r.serial) +
        Row("Resolution:", ResolutionSummary(r.before) + " -> " + ResolutionSummary(r.after)) +
        Row("Edge separation:", EdgeSeparationSummary(r.before) + " -> " + EdgeSeparationSummary(r.after)) +
        Row("Direction:", r.before.DirectionWord() + " -> " + r.after.DirectionWord());
    if (r.changes.empty()) return text + "No byte would change: the encoder holds what " + r.command + " would write.\n" +
                                  "Dry run: nothing was written.\n";
    text += "Bytes that " + r.command + " would change (address: now -> written):\n";
    for (size_t first = 0; first < r.changes.size();) {
        // Neighbours that change alike, such as the unused bytes that become zero, share a line.
        size_t last = first;
        while (last + 1 < r.changes.size() && r.changes[last + 1].address == r.changes[last].address + 1 &&
               r.changes[last + 1].before == r.changes[first].before &&
               r.changes[last + 1].after == r.changes[first].after)
            ++last;
        const ByteChange& change = r.changes[first];
        std::string addresses = HexNumber(static_cast<unsigned>(change.address), 2);
        if (last > first) addresses += ".." + HexNumber(static_cast<unsigned>(r.changes[last].address), 2);
        text += "  " + addresses + ": " + HexNumber(change.before, 2) + " -> " + HexNumber(change.after, 2) + "\n";
        first = last + 1;
    }
    return text + "Dry run: nothing was written.\n";
}

std::string BackupText(const std::string& port, const std::string& file, const EncoderReport& e)
{
    return "Saved the 128 bytes of " + (e.product.empty() ? std::string("the encoder") : e.product + " " + e.serial) +
           " on " + port + " to " + file + "\n";
}

}  // namespace cli
