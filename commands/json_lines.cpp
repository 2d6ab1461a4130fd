#include "commands/json_lines.h"

namespace commands {

namespace {

// A file just made has its entry in the folder, which must reach the disk too.
std::string SyncNewEntry(const platform::AppendFile& file, const std::filesystem::path& path)
{
    return file.created() ? platform::SyncFolder(path.parent_path()) : std::string();
}

}  // namespace

std::string JsonText(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string CheckAppendable(const std::string& path, platform::AppendTarget target, const platform::LockWait& wait)
{
    const platform::AppendFile file(path, target, wait);
    if (!file.error().empty()) return file.error();
    return SyncNewEntry(file, path);
}

std::string AppendLine(const std::string& path, const std::string& line, platform::AppendTarget target,
                       const platform::LockWait& wait)
{
    // Binary: the same "\n" line ends on every system, as JSON lines are usually read.
    platform::AppendFile file(path, target, wait);
    if (!file.error().empty()) return file.error();
    if (!file.regular()) return file.Write(line + "\n");

    const uint64_t former = file.size();
    const bool midLine = file.LastByte().value_or('\n') != '\n';
    std::string text = midLine ? "\n" : "";
    std::string error = file.Write(text.append(line).append("\n"));
    if (error.empty()) error = file.Sync();
    if (error.empty()) error = SyncNewEntry(file, path);
    if (!error.empty()) file.CutBackTo(former);
    return error;
}

LineLog::LineLog(std::string path, const platform::LockWait& wait) : path_(std::move(path))
{
    auto file = std::make_unique<platform::AppendFile>(path_, platform::AppendTarget::AnyFile, wait);
    error_ = file->error();
    if (error_.empty() && file->regular()) error_ = SyncNewEntry(*file, path_);
    if (error_.empty() && !file->regular()) stream_ = std::move(file);
}

std::string LineLog::Append(const std::string& line, const platform::LockWait& wait)
{
    if (!stream_) return AppendLine(path_, line, platform::AppendTarget::AnyFile, wait);
    const std::lock_guard<std::mutex> one(writing_);
    return stream_->Write(line + "\n");
}

}  // namespace commands
