// JSON lines: a record shaped as one line of text, and appended to a file with one write, the
// file opened and closed for each line so that every line is on disk before the next comes.
// The --log file of tarv-cli and the journal of the image store are written this way.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// One line of JSON, with any invalid UTF-8 replaced rather than thrown at.
std::string JsonText(const nlohmann::ordered_json& value);

// Opens `path` for appending (creating it) and closes it again, so that a path that cannot be
// written is found before any encoder is touched. Empty on success, else the reason.
std::string CheckAppendable(const std::string& path);

// Appends `line` and a line end. Empty on success, else the reason.
std::string AppendLine(const std::string& path, const std::string& line);
