// The durable file services on POSIX: open with O_EXCL, fsync, renameat2 or link, flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/durable_files.h"
#include "platform/lock_wait.h"

namespace platform {
namespace {

std::string Reason(const std::filesystem::path& path, int error = errno)
{
    return path.string() + ": " + std::strerror(error);
}

int Retried(const auto& call)
{
    int result = 0;
    do result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

// Writes all of `bytes`, however many calls that takes; false with errno set when one fails.
bool WriteAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Takes the name with a hard link, then drops the temporary's: for filesystems whose rename takes
// no flags. A crash between the two leaves the temporary beside the image, never a lost image.
Naming NameByLink(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return {false, true, {}};
        return {false, false, Reason(to)};
    }
    unlink(from.c_str());
    return {true, false, {}};
}

bool IsRegular(int fd)
{
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Opens an existing file or makes it, and tells which: a new file's folder entry must be synced.
int OpenOrCreate(const std::filesystem::path& path, int flags, bool& created)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = Retried([&] { return open(path.c_str(), flags); });
        if (fd >= 0 || errno != ENOENT) return fd;
        const int made = Retried([&] { return open(path.c_str(), flags | O_CREAT | O_EXCL, 0666); });
        if (made >= 0 || errno != EEXIST) {
            created = made >= 0;
            return made;
        }
        // Another program made it in between: open theirs.
    }
    return -1;
}

// Why `path` did not open: a FIFO that no program reads and a link that points nowhere in words of
// their own, anything else as the system says it.
std::string OpenFailure(const std::filesystem::path& path, int error = errno)
{
    struct stat status {};
    if (error == ENXIO && stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))
        return path.string() + ": a FIFO that no program reads";
    if (std::string dangling = DanglingLink(path); !dangling.empty()) return dangling;
    return Reason(path, error);
}

// A pipe or a terminal takes each line whole, as a blocking write gives it.
void Blocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// One try at the lock that never waits: another program's lock is waited for, bounded, by
// WaitForLock.
LockTry TryLock(int fd, const std::filesystem::path& path)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {LockTry::State::Taken, {}};
    if (errno == EWOULDBLOCK || errno == EINTR) return {LockTry::State::Held, {}};
    return {LockTry::State::Failed, Reason(path)};
}

}  // namespace

NewFile WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes)
{
    // O_EXCL also refuses a link of that name, even one that points nowhere.
    const int fd = Retried([&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
    if (fd < 0) return {errno == EEXIST, errno == EEXIST ? std::string() : Reason(path)};
    const bool kept = WriteAll(fd, reinterpret_cast<const char*>(bytes.data()), bytes.size()) && fsync(fd) == 0;
    const int error = errno;
    const bool closed = close(fd) == 0;
    if (kept && closed) return {};
    unlink(path.c_str());
    return {false, Reason(path, kept ? errno : error)};
}

Naming NameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef __linux__
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {true, false, {}};
    if (errno == EEXIST) return {false, true, {}};
    // A filesystem or kernel without the flag still has links.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return {false, false, Reason(to)};
#endif
    return NameByLink(from, to);
}

std::string SyncFolder(const std::filesystem::path& folder)
{
    const std::filesystem::path path = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = Retried([&] { return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return Reason(path);
    // A filesystem that cannot sync a folder (EINVAL) keeps its entries its own way.
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    close(fd);
    return synced ? std::string() : Reason(path, error);
}

std::FILE* OpenAppendStream(const std::filesystem::path& path, std::string& error)
{
    const int fd = Retried(
        [&] { return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666); });
    if (fd < 0) {
        error = OpenFailure(path);
        return nullptr;
    }
    Blocking(fd);
    std::FILE* stream = fdopen(fd, "ab");
    if (stream == nullptr) {
        error = Reason(path);
        close(fd);
    }
    return stream;
}

AppendFile::AppendFile(const std::filesystem::path& path, AppendTarget target, const LockWait& wait) : path_(path)
{
    // Read as well as write, for the last byte; but only where there is a file to read: a pipe
    // opened for reading too would keep our own line.
    struct stat status {};
    const bool exists = stat(path.c_str(), &status) == 0;
    if (exists && !S_ISREG(status.st_mode) && target == AppendTarget::RegularFileOnly) {
        error_ = path.string() + ": not a regular file";
        return;
    }
    const bool file = !exists || S_ISREG(status.st_mode);
    // Never waits for a reader, not even of a FIFO put in the file's place meanwhile.
    const int flags = (file ? O_RDWR : O_WRONLY) | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const int fd = file ? OpenOrCreate(path, flags, created_) : Retried([&] { return open(path.c_str(), flags); });
    if (fd < 0) {
        error_ = OpenFailure(path);
        return;
    }
    handle_ = fd;
    regular_ = IsRegular(fd);
    if (!regular_) {
        if (target == AppendTarget::RegularFileOnly) error_ = path.string() + ": not a regular file";
        Blocking(fd);
        return;
    }
    error_ = WaitForLock(path, [fd, &path] { return TryLock(fd, path); }, wait);
    if (!error_.empty()) return;
    struct stat locked {};
    if (fstat(fd, &locked) != 0) {
        error_ = platform::Reason(path);
        return;
    }
    size_ = static_cast<uint64_t>(locked.st_size);
}

AppendFile::~AppendFile()
{
    // Closing the descriptor also drops its lock.
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

std::optional<char> AppendFile::LastByte() const
{
    char last = 0;
    if (!regular_ || size_ == 0 || pread(static_cast<int>(handle_), &last, 1, static_cast<off_t>(size_ - 1)) != 1)
        return std::nullopt;
    return last;
}

std::string AppendFile::Write(std::string_view text)
{
    return WriteAll(static_cast<int>(handle_), text.data(), text.size()) ? std::string() : Reason();
}

std::string AppendFile::Sync()
{
    if (!regular_) return {};
    return Retried([this] { return fsync(static_cast<int>(handle_)); }) == 0 ? std::string() : Reason();
}

std::string AppendFile::CutBackTo(uint64_t length)
{
    const int fd = static_cast<int>(handle_);
    return Retried([&] { return ftruncate(fd, static_cast<off_t>(length)); }) == 0 ? std::string() : Reason();
}

std::string AppendFile::Reason() const
{
    return platform::Reason(path_);
}

}  // namespace platform
