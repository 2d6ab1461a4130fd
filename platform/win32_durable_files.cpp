// The durable file services on Windows: CREATE_NEW, FlushFileBuffers, MoveFileExW written through
// and without replacing, LockFileEx.
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/durable_files.h"
#include "platform/lock_wait.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

// The appenders' lock: one byte far past the end of any log, so that it excludes the other
// appenders only. Windows' locks are mandatory, and a lock on the lines would fail their readers.
constexpr DWORD kLockOffsetHigh = 0x40000000;

std::string SystemMessage(DWORD error)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message;
}

std::string Reason(const std::filesystem::path& path, DWORD error = GetLastError())
{
    return path.string() + ": " + SystemMessage(error);
}

HANDLE AsHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool WriteAll(HANDLE file, const char* bytes, size_t size, OVERLAPPED* at = nullptr)
{
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, at)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool TakenError(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// A try at the appenders' lock byte that never waits: a lock that another program holds is
// waited for, bounded, by WaitForLock.
LockTry TryLock(HANDLE file, const std::filesystem::path& path)
{
    OVERLAPPED lockByte{};
    lockByte.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockByte))
        return {LockTry::State::Taken, {}};
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return {LockTry::State::Held, {}};
    return {LockTry::State::Failed, Reason(path, error)};
}

}  // namespace

NewFile WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes)
{
    const HANDLE file =
        CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {TakenError(error), TakenError(error) ? std::string() : Reason(path, error)};
    }
    const bool kept =
        WriteAll(file, reinterpret_cast<const char*>(bytes.data()), bytes.size()) && FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (kept) return {};
    DeleteFileW(path.wstring().c_str());
    return {false, Reason(path, error)};
}

Naming NameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // Without MOVEFILE_REPLACE_EXISTING a name that is taken stays with its file.
    if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_WRITE_THROUGH)) return {true, false, {}};
    const DWORD error = GetLastError();
    if (TakenError(error)) return {false, true, {}};
    return {false, false, Reason(to, error)};
}

std::string SyncFolder(const std::filesystem::path&)
{
    return {};
}

std::FILE* OpenAppendStream(const std::filesystem::path& path, std::string& error)
{
    std::FILE* stream = _wfopen(path.wstring().c_str(), L"ab");
    if (stream == nullptr) {
        const std::string reason = path.string() + ": " + std::strerror(errno);
        const std::string dangling = DanglingLink(path);
        error = dangling.empty() ? reason : dangling;
    }
    return stream;
}

AppendFile::AppendFile(const std::filesystem::path& path, AppendTarget target, const LockWait& wait) : path_(path)
{
    const HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const std::string reason = platform::Reason(path);
        const std::string dangling = DanglingLink(path);
        error_ = dangling.empty() ? reason : dangling;
        return;
    }
    created_ = GetLastError() != ERROR_ALREADY_EXISTS;
    handle_ = reinterpret_cast<intptr_t>(file);
    regular_ = GetFileType(file) == FILE_TYPE_DISK;
    if (!regular_) {
        if (target == AppendTarget::RegularFileOnly) error_ = path.string() + ": not a regular file";
        return;
    }
    error_ = WaitForLock(path, [file, &path] { return TryLock(file, path); }, wait);
    if (!error_.empty()) return;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        error_ = platform::Reason(path);
        return;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
}

AppendFile::~AppendFile()
{
    if (handle_ == -1) return;
    if (regular_) {
        OVERLAPPED lockByte{};
        lockByte.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(AsHandle(handle_), 0, 1, 0, &lockByte);
    }
    CloseHandle(AsHandle(handle_));
}

std::optional<char> AppendFile::LastByte() const
{
    if (!regular_ || size_ == 0) return std::nullopt;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size_ - 1);
    at.OffsetHigh = static_cast<DWORD>((size_ - 1) >> 32);
    char last = 0;
    DWORD read = 0;
    if (!ReadFile(AsHandle(handle_), &last, 1, &read, &at) || read != 1) return std::nullopt;
    return last;
}

std::string AppendFile::Write(std::string_view text)
{
    if (!regular_) return WriteAll(AsHandle(handle_), text.data(), text.size()) ? std::string() : Reason();
    // Both offsets all ones: each write goes to the end of the file, as O_APPEND does.
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    return WriteAll(AsHandle(handle_), text.data(), text.size(), &atEnd) ? std::string() : Reason();
}

std::string AppendFile::Sync()
{
    if (!regular_) return {};
    return FlushFileBuffers(AsHandle(handle_)) ? std::string() : Reason();
}

std::string AppendFile::CutBackTo(uint64_t length)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    const HANDLE file = AsHandle(handle_);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file) ? std::string() : Reason();
}

std::string AppendFile::Reason() const
{
    return platform::Reason(path_);
}

}  // namespace platform
