// The file services that keep what the image store and the logs are given: a file made under a
// name no other file has, a name taken without replacing the file that has it, and a file
// appended to under a lock that the other appenders (other programs) respect, cut back when an
// append fails; each of them on disk before it returns. POSIX or Win32, as the build picks; the
// rules made of them (which names, which lines) are the command core's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

class Host;

// A reason is "path: what the system said"; an empty one is success.

struct NewFile {
    bool taken = false;  // a file (or a link) has that name already
    std::string error;
};

// Makes `path` as a new file (never one that exists, nor where a link points), writes `bytes` and
// puts them on disk. On failure no file is left, unless one was there before.
NewFile WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

struct Naming {
    bool named = false;
    bool taken = false;  // `to` exists: nothing was done
    std::string error;
};

// Gives the file `from` the name `to` in the same folder without replacing any file that has it.
// On Windows the move is written through; on POSIX the folder still needs SyncFolder.
Naming NameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Puts a folder's entries on disk (an empty path is the current folder). Nothing to do on
// Windows, where naming writes through.
std::string SyncFolder(const std::filesystem::path& folder);

// A link at `path` that points to nothing, said so ("PATH: a link to TARGET, which does not
// exist"), where a system would say "File exists" of it; empty when `path` is no such link.
std::string DanglingLink(const std::filesystem::path& path);

// Opens `path` for appending as a stream, making it when missing, without waiting for a reader: a
// FIFO that no program reads is refused at once. nullptr, with the reason in `error`, when it does
// not open.
std::FILE* OpenAppendStream(const std::filesystem::path& path, std::string& error);

// Another program's lock on a file to append to is waited for this long at most, and a wait that
// lasts longer than kLockWaitToldMs is told, once: a lock that is never let go must not hang a
// command, nor leave a technician looking at a silent one.
inline constexpr uint32_t kLockWaitLimitMs = 10'000;
inline constexpr uint32_t kLockWaitToldMs = 2'000;

// How an append waits for another program's lock.
struct LockWait {
    // Hears, once, what the wait is for: "waiting for PATH: another program holds its lock (up to 10 s)".
    std::function<void(const std::string& what)> told;
    // Asked between tries: true gives the wait up at once (a stop before anything was written).
    std::function<bool()> givenUp;
    // Times the wait: the system's clock when none; a test's virtual clock plays the bound.
    Host* clock = nullptr;
};

// What an AppendFile may open: the journal only a regular file (a line sent to /dev/null or into a
// pipe would be lost); a --log also a pipe or a terminal.
enum class AppendTarget { AnyFile, RegularFileOnly };

// A file opened for appending, created when missing. A regular file is locked exclusively for as
// long as this lives (an append of another program waits, as `wait` says), so its end stays where
// size() says; anything else (a pipe, a terminal) is written as it is, with nothing to check or cut
// back. Opening never waits for a reader: a FIFO that no program reads is refused at once.
class AppendFile {
public:
    AppendFile(const std::filesystem::path& path, AppendTarget target, const LockWait& wait = {});
    ~AppendFile();  // unlocks and closes
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    const std::string& error() const { return error_; }  // why it did not open; empty when open
    bool regular() const { return regular_; }
    bool created() const { return created_; }  // made by this open: its folder has a new entry
    uint64_t size() const { return size_; }    // a regular file's length when it was locked

    // The last byte of a regular file; none when it is empty or cannot be read.
    std::optional<char> LastByte() const;
    // All of `text` at the end of the file, or the reason.
    std::string Write(std::string_view text);
    // A regular file's bytes on disk; nothing to do for anything else.
    std::string Sync();
    // A regular file back to `length` bytes.
    std::string CutBackTo(uint64_t length);

private:
    std::string Reason() const;  // the system's last error, with the path

    std::filesystem::path path_;
    intptr_t handle_ = -1;  // a descriptor on POSIX, a HANDLE on Windows
    std::string error_;
    bool regular_ = false;
    bool created_ = false;
    uint64_t size_ = 0;
};

}  // namespace platform
