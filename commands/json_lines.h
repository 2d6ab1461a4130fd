// JSON lines: a record shaped as one line of text, and appended to a file whole or not at all, on
// disk before the next comes. The --log file of tarv-cli and the journal of the image store are
// written this way.
#pragma once

#include <nlohmann/json.hpp>
#include <memory>
#include <mutex>
#include <string>

#include "platform/durable_files.h"

namespace commands {

// One line of JSON, with any invalid UTF-8 replaced rather than thrown at.
std::string JsonText(const nlohmann::ordered_json& value);

// Opens `path` for appending (creating it) and closes it again, so that a path that cannot be
// written is found before any encoder is touched. Empty on success, else the reason.
std::string CheckAppendable(const std::string& path, platform::AppendTarget target = platform::AppendTarget::AnyFile,
                            const platform::LockWait& wait = {});

// Appends `line` and a line end. A regular file takes it under its lock (waited for as `wait`
// says), on a line of its own (a line end first when the last line has none), and is cut back to
// its former length when the append fails, so that a line torn by a full disk cannot swallow the
// next. A pipe or a terminal just gets the line. Empty on success, else the reason.
std::string AppendLine(const std::string& path, const std::string& line,
                       platform::AppendTarget target = platform::AppendTarget::AnyFile,
                       const platform::LockWait& wait = {});

// A file that takes a command's lines for as long as it runs (tarv-cli's --log), checked when it
// is made. A regular file is opened for each line, as AppendLine does, so that other programs'
// appends take turns with ours; anything else (a pipe, a FIFO, a terminal) is opened once, so that
// its reader sees one stream and not an end after each line. Lines may come from several threads.
class LineLog {
public:
    explicit LineLog(std::string path, const platform::LockWait& wait = {});
    const std::string& error() const { return error_; }  // why it cannot be written; empty when it can
    std::string Append(const std::string& line, const platform::LockWait& wait = {});

private:
    std::string path_;
    std::string error_;
    std::unique_ptr<platform::AppendFile> stream_;  // what is not a regular file, held open
    std::mutex writing_;
};

}  // namespace commands
