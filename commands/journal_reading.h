// Reading the journal back, beside writing it (image_store.*): its lines as parsed records, those
// that could not be (a line torn at a crash, a foreign line) counted, and why the journal cannot
// be read when it cannot.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace commands {

namespace store {

// Which lines are wanted: all of them when a field is empty. A product is named in any case; a
// serial number as it is stored.
struct JournalFilter {
    std::string serial;
    std::string product;
};

struct JournalRecord {
    nlohmann::json fields;  // an object
    std::string text;       // the line as the journal holds it
};

struct JournalReading {
    bool missing = false;                // no journal yet
    std::string error;                   // why the journal cannot be read; empty when it could be
    std::vector<JournalRecord> records;  // the wanted lines, oldest first
    int unreadableLines = 0;             // left out, wanted or not
};

JournalReading ReadJournal(const std::filesystem::path& dataFolder, const JournalFilter& filter = {});

// A field of a journal line as text: a string as it is, another value as JSON, "-" when absent or null.
std::string JournalField(const nlohmann::json& line, const char* key);

}  // namespace store

}  // namespace commands
