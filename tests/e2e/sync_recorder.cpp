// Preloaded into tarv-cli by an end-to-end test (LD_PRELOAD): every fsync and fdatasync first
// appends the path of what it syncs, as /proc/self/fd names it, to the file that
// TARV_SYNC_RECORD names, then syncs. So a test sees which files and folders reached the disk.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

void Record(int fd)
{
    const char* record = std::getenv("TARV_SYNC_RECORD");
    if (record == nullptr) return;
    char path[4096];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    if (length < 0) return;
    path[length] = '\n';
    const int out = open(record, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0) return;
    if (write(out, path, static_cast<size_t>(length) + 1) < 0) {
        // Nothing to tell: a missing line fails the test that reads the record.
    }
    close(out);
}

template <typename Call>
Call Next(const char* name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    Record(fd);
    return next(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto next = Next<int (*)(int)>("fdatasync");
    Record(fd);
    return next(fd);
}
