// The image store: the 128 bytes of an encoder, kept in the data folder before anything is
// written to it, and the journal of those writes, one JSON line each. Nothing here ever deletes
// a file: an image that is kept stays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "commands/encoder_report.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace store {

// TARV_DATA_DIR when set; else $XDG_DATA_HOME/tarv-configurator (~/.local/share/tarv-configurator
// without it) on Linux, %LOCALAPPDATA%\tarv-configurator on Windows. Empty when none can be told.
std::filesystem::path DataFolder();

std::filesystem::path ImagesFolder(const std::filesystem::path& dataFolder);
std::filesystem::path JournalPath(const std::filesystem::path& dataFolder);

// A product name or serial number as part of a file name: every character but a letter, a digit,
// '-' or '_' becomes '_'; one with no letter or digit at all becomes "unknown".
std::string FileNamePart(std::string_view text);

// "KV24-AB1234-20261211T093000Z.bin"; `duplicate` 2, 3... adds "-2", "-3" before ".bin".
std::string ImageFileName(std::string_view product, std::string_view serial, int64_t unixSeconds, int duplicate = 1);

// Moves a finished temporary file to its name; false when it could not.
using RenameFile = std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;
bool RenameInPlace(const std::filesystem::path& from, const std::filesystem::path& to);

struct KeptImage {
    std::string fileName;  // inside images/; empty when the image was not kept
    std::string error;     // why not
};

// Writes `memory` under a temporary name in images/, flushes and closes it, then renames it to
// the first free name: a crash never leaves half an image under an image's name.
KeptImage KeepImage(const std::filesystem::path& dataFolder, const eeprom::Image& memory, std::string_view product,
                    std::string_view serial, int64_t unixSeconds, const RenameFile& rename = RenameInPlace);

// One line of journal.jsonl: what a write did to one encoder.
struct JournalEntry {
    std::string time;     // UTC, ISO 8601
    std::string program;  // "window" or "cli"
    std::string command;  // "program", "restore" or "repair"
    std::string port;
    std::string product;
    std::string serial;
    std::optional<SettingsReport> before;
    std::optional<SettingsReport> after;
    std::string result;                // ok, write-failed, verification-failed...
    std::optional<std::string> image;  // the kept image's name inside images/
};

std::string JournalLine(const JournalEntry& entry);

// Appends the entry's line with one write; empty on success, else the reason.
std::string AppendToJournal(const std::filesystem::path& dataFolder, const JournalEntry& entry);

}  // namespace store
