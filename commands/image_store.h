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
#include "platform/durable_files.h"

namespace commands {

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

// Gives a finished temporary file the name `to`, never replacing a file that has it; false when
// it could not, and KeepImage then tries the next name if a file has `to`. The step before which
// a test can hold a writer.
using RenameFile = std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;
bool NameIfFree(const std::filesystem::path& from, const std::filesystem::path& to);

struct KeptImage {
    std::string fileName;  // inside images/; empty when the image was not kept
    std::string error;     // why not
};

// Writes `memory` to a temporary file of this call's own in images/, puts it on disk, gives it the
// first of ImageFileName's names that no file has (two writers of one encoder in one second keep
// two images, the second under "-2") and puts the folder on disk. A crash never leaves half an
// image under an image's name, and a kept image is on disk when this returns.
KeptImage KeepImage(const std::filesystem::path& dataFolder, const eeprom::Image& memory, std::string_view product,
                    std::string_view serial, int64_t unixSeconds, const RenameFile& rename = NameIfFree);

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

// Makes images/ (and the data folder) where they are missing; empty when they are there, else the
// reason, so that a store that cannot keep an image is found before an encoder is read.
std::string MakeImagesFolder(const std::filesystem::path& dataFolder);

// Whether the journal can take a line, told before an encoder is written rather than after: the
// data folder made, the journal a regular file (made when there is none) that opens for
// appending, its lock waited for as `wait` says. Empty when it can, else the reason.
std::string CheckJournal(const std::filesystem::path& dataFolder, const platform::LockWait& wait = {});

// Appends the entry's line, whole and on disk, or leaves the journal as it was; empty on success,
// else the reason. Another program's lock on the journal is waited for as `wait` says.
std::string AppendToJournal(const std::filesystem::path& dataFolder, const JournalEntry& entry,
                            const platform::LockWait& wait = {});

}  // namespace store

}  // namespace commands
