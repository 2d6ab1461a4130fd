#include "sim/sim_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>

namespace sim {
namespace {

std::optional<unsigned long> ParseUnsigned(std::string_view text, unsigned long max, int base)
{
    unsigned long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end || value > max) return std::nullopt;
    return value;
}

// Decimal, or hexadecimal with 0x (addresses and byte values read better that way).
std::optional<unsigned long> ParseNumber(std::string_view text, unsigned long max)
{
    if (text.starts_with("0x") || text.starts_with("0X")) return ParseUnsigned(text.substr(2), max, 16);
    return ParseUnsigned(text, max, 10);
}

// YYYY-MM-DD, a date that exists.
std::optional<CivilDate> ParseDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto year = ParseUnsigned(text.substr(0, 4), 9999, 10);
    const auto month = ParseUnsigned(text.substr(5, 2), 12, 10);
    const auto day = ParseUnsigned(text.substr(8, 2), 31, 10);
    if (!year || !month || !day || *month == 0 || *day == 0) return std::nullopt;
    const CivilDate date{static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day)};
    // A day past the month's end comes back as a date of the next month.
    if (DateFromDayNumber(DayNumberFromDate(date)) != date) return std::nullopt;
    return date;
}

template <typename T>
bool Store(std::optional<unsigned long> number, T& into)
{
    if (number) into = static_cast<T>(*number);
    return number.has_value();
}

bool StoreMillis(std::string_view text, Micros& into, unsigned long maxMs = 600'000)
{
    const auto ms = ParseNumber(text, maxMs);
    if (ms) into = Micros{*ms} * 1000;
    return ms.has_value();
}

bool StoreText(std::string_view text, size_t length, std::string& into)
{
    if (text.size() != length) return false;
    into = text;
    return true;
}

bool StorePath(std::string_view text, std::string& into)
{
    into = text;
    return !text.empty();
}

bool StoreDate(std::string_view text, CivilDate& into)
{
    const auto date = ParseDate(text);
    if (date) into = *date;
    return date.has_value();
}

// ADDR=VALUE: an EEPROM cell that keeps VALUE whatever is written to it.
bool StoreStuckCell(std::string_view text, std::map<uint8_t, uint8_t>& cells)
{
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return false;
    const auto address = ParseNumber(text.substr(0, equals), eeprom::kImageSize - 1);
    const auto value = ParseNumber(text.substr(equals + 1), 0xFF);
    if (address && value) cells[static_cast<uint8_t>(*address)] = static_cast<uint8_t>(*value);
    return address && value;
}

bool StoreFormat(std::string_view text, RecordFormat& into)
{
    if (text == "2")
        into = RecordFormat::Format2;
    else if (text == "1")
        into = RecordFormat::Format1;
    else if (text == "blank")
        into = RecordFormat::Blank;
    else
        return false;
    return true;
}

struct OptionSpec {
    std::string_view name;
    std::string_view value;  // empty for a flag
    std::string_view help;
    bool (*apply)(SimOptions&, std::string_view);
};

// One table drives both the parser and --help, so they cannot drift apart.
constexpr std::array kOptions = {
    OptionSpec{"--product", "NAME", "product name, 4 characters (default KV24)",
               [](SimOptions& o, std::string_view v) { return StoreText(v, 4, o.record.name); }},
    OptionSpec{"--serial", "TEXT", "serial number, 6 characters (default AB1234)",
               [](SimOptions& o, std::string_view v) { return StoreText(v, 6, o.record.serial); }},
    OptionSpec{"--manufactured", "YYYY-MM-DD", "manufactured date (default 2014-01-08)",
               [](SimOptions& o, std::string_view v) { return StoreDate(v, o.record.manufactured); }},
    OptionSpec{"--changed", "YYYY-MM-DD", "last-changed date (default 2014-01-08)",
               [](SimOptions& o, std::string_view v) { return StoreDate(v, o.record.lastChanged); }},
    OptionSpec{"--format", "2|1|blank", "record format (default 2); format 1 holds 2 serial characters + --counter",
               [](SimOptions& o, std::string_view v) { return StoreFormat(v, o.format); }},
    OptionSpec{"--counter", "N", "format-1 serial counter, 0..65535 (default 1234)",
               [](SimOptions& o, std::string_view v) { return Store(ParseNumber(v, 0xFFFF), o.serialCounter); }},
    OptionSpec{"--blank-byte", "N", "what the record bytes of a blank image hold (default 0xFF)",
               [](SimOptions& o, std::string_view v) { return Store(ParseNumber(v, 0xFF), o.blankByte); }},
    OptionSpec{"--presence", "N", "the answer to a presence request, 0..255 (default 4)",
               [](SimOptions& o, std::string_view v) { return Store(ParseNumber(v, 0xFF), o.adapter.presenceAnswer); }},
    OptionSpec{"--no-presence", "", "leave presence requests unanswered",
               [](SimOptions& o, std::string_view) {
                   o.adapter.presenceAnswer.reset();
                   return true;
               }},
    OptionSpec{"--latency", "MS", "delay from a complete request to its answer",
               [](SimOptions& o, std::string_view v) { return StoreMillis(v, o.adapter.latency); }},
    OptionSpec{"--read-latency", "MS", "more delay for EEPROM read answers, after --latency: a slow encoder",
               [](SimOptions& o, std::string_view v) { return StoreMillis(v, o.adapter.readLatency); }},
    OptionSpec{"--pace", "", "bytes take their wire time at 19200 baud 8N2 (11 bits a byte)",
               [](SimOptions& o, std::string_view) { return o.adapter.wirePacing = true; }},
    OptionSpec{"--usb-latency", "MS",
               "hold answers for a USB converter's latency timer of MS ms, 0..255 (0: none; below)",
               [](SimOptions& o, std::string_view v) { return StoreMillis(v, o.adapter.usbLatency, 255); }},
    OptionSpec{"--block-write-ms", "MS", "time the EEPROM spends on each write request",
               [](SimOptions& o, std::string_view v) { return StoreMillis(v, o.adapter.blockWriteTime); }},
    OptionSpec{"--refuse-block", "ADDR", "answer writes at ADDR with status 0 and store nothing (repeatable)",
               [](SimOptions& o, std::string_view v) {
                   const auto address = ParseNumber(v, 0xFF);
                   if (address) o.adapter.blockStatus[static_cast<uint8_t>(*address)] = 0;
                   return address.has_value();
               }},
    OptionSpec{"--ignore-block", "ADDR", "leave writes at ADDR unanswered and store nothing (repeatable)",
               [](SimOptions& o, std::string_view v) {
                   const auto address = ParseNumber(v, 0xFF);
                   if (address) o.adapter.ignoredBlocks.insert(static_cast<uint8_t>(*address));
                   return address.has_value();
               }},
    OptionSpec{
        "--extra-bytes", "N", "append N stray bytes to every answer",
        [](SimOptions& o, std::string_view v) { return Store(ParseNumber(v, 255), o.adapter.extraAnswerBytes); }},
    OptionSpec{"--short-read", "N", "leave N bytes off the end of every EEPROM read answer",
               [](SimOptions& o, std::string_view v) { return Store(ParseNumber(v, 255), o.adapter.shortReadBy); }},
    OptionSpec{"--stuck-cell", "ADDR=VALUE", "the EEPROM cell at ADDR keeps VALUE whatever is written (repeatable)",
               [](SimOptions& o, std::string_view v) { return StoreStuckCell(v, o.adapter.stuckCells); }},
    OptionSpec{"--no-encoder", "", "start without an encoder: presence answers, EEPROM requests do not",
               [](SimOptions& o, std::string_view) { return o.adapter.encoderAbsent = true; }},
    OptionSpec{"--unplug-after", "N", "stop answering after N requests",
               [](SimOptions& o,
                  std::string_view v) { return Store(ParseNumber(v, 1'000'000'000), o.adapter.unplugAfterFrames); }},
    OptionSpec{"--log", "FILE", "write the frame log to FILE instead of standard error",
               [](SimOptions& o, std::string_view v) { return StorePath(v, o.logPath); }},
    OptionSpec{"--link", "PATH", "also make PATH a symlink to the slave; removed at exit",
               [](SimOptions& o, std::string_view v) { return StorePath(v, o.linkPath); }},
    OptionSpec{"--commands", "", "read commands from standard input, one a line (below)",
               [](SimOptions& o, std::string_view) { return o.readCommands = true; }},
    OptionSpec{"--exit-on-stdin-eof", "", "read commands from standard input and exit when it ends",
               [](SimOptions& o, std::string_view) { return o.exitOnStdinEof = o.readCommands = true; }},
    OptionSpec{"--help", "", "show this text", [](SimOptions& o, std::string_view) { return o.help = true; }},
};

const OptionSpec* FindOption(std::string_view name)
{
    for (const OptionSpec& spec : kOptions)
        if (spec.name == name) return &spec;
    return nullptr;
}

ParsedArguments Failed(std::string error)
{
    return {{}, std::move(error)};
}

}  // namespace

ParsedArguments ParseSimArguments(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> attached;  // --name=value
        if (const size_t equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
            attached = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const OptionSpec* spec = FindOption(name);
        if (spec == nullptr) return Failed("unknown argument: " + args[i]);
        std::string_view value;
        if (spec->value.empty()) {
            if (attached) return Failed(std::string(name) + " takes no value");
        } else if (attached) {
            value = *attached;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Failed(std::string(name) + " needs a value: " + std::string(spec->value));
        }
        if (!spec->apply(parsed.options, value))
            return Failed("bad value for " + std::string(name) + ": '" + std::string(value) + "'; " +
                          std::string(name) + " " + std::string(spec->value) + ": " + std::string(spec->help));
    }
    return parsed;
}

std::string SimUsage()
{
    std::string text =
        "Usage: tarv-adapter-sim [OPTION]...\n"
        "Serves an emulated programming adapter with an encoder on a pseudo-terminal. The slave's path is\n"
        "the first line of standard output; open it as a serial port. Every request frame is logged with\n"
        "its time in ms, kind, bytes and the line settings the client set. Ends on SIGTERM or SIGINT.\n"
        "\nOptions:\n";
    for (const OptionSpec& spec : kOptions) {
        std::string left = "  ";
        left += spec.name;
        if (!spec.value.empty()) left.append(" ").append(spec.value);
        left.resize(std::max<size_t>(left.size() + 2, 32), ' ');
        text += left + std::string(spec.help) + "\n";
    }
    text +=
        "\nWith --usb-latency, the converter's timer runs from the server's start and runs out every MS ms.\n"
        "Each byte the adapter sends (after its wire time, with --pace) is held until the timer next runs\n"
        "out, then passed on with every other byte held; what the client sends is never held.\n"
        "\nCommands on standard input (with --commands or --exit-on-stdin-eof):\n"
        "  encoder NAME SERIAL           put a fresh format-2 encoder on the adapter (KV24 AB0001)\n"
        "  remove                        take the encoder off\n";
    return text;
}

eeprom::Image ImageOf(const SimOptions& options)
{
    switch (options.format) {
    case RecordFormat::Format1:
        return Format1Image(options.record, options.serialCounter);
    case RecordFormat::Blank:
        return BlankImage(options.blankByte);
    case RecordFormat::Format2:
        break;
    }
    return Format2Image(options.record);
}

}  // namespace sim
