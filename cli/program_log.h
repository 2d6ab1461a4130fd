// The --log file of `program`: one JSON line appended per encoder, the file opened and closed for
// each line so that every line is on disk before the next encoder comes.
#pragma once

#include <string>

namespace cli {

// Opens `path` for appending (creating it) and closes it again, so that a path that cannot be
// written is found before any encoder is touched. Empty on success, else the reason.
std::string CheckLogWritable(const std::string& path);

// Appends `line` and a line end. Empty on success, else the reason.
std::string AppendLogLine(const std::string& path, const std::string& line);

}  // namespace cli
