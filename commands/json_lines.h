// JSON lines: a record shaped as one line of text, and appended to a file whole or not at all, on
// disk before the next comes. The --log file of tarv-cli and the journal of the image store are
// written this way.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/durable_files.h"

namespace commands {

// One line of JSON, with any invalid UTF-8 replaced rather than thrown at.
std::string JsonText(const nlohmann::ordered_json& value);

// Opens `path` for appending (creating it) and closes it again, so that a path that cannot be
// written is found before any encoder is touched. Empty on success, else the reason.
std::string CheckAppendable(const std::string& path, platform::AppendTarget target = platform::AppendTarget::AnyFile);

// Appends `line` and a line end. A regular file takes it under its lock, on a line of its own (a
// line end first when the last line has none), and is cut back to its former length when the
// append fails, so that a line torn by a full disk cannot swallow the next. A pipe or a terminal
// just gets the line. Empty on success, else the reason.
std::string AppendLine(const std::string& path, const std::string& line,
                       platform::AppendTarget target = platform::AppendTarget::AnyFile);

}  // namespace commands
