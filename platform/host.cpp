#include "platform/host.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
// Per thread, so that threads each talking to their own port never see another's host.
thread_local Host* installed = nullptr;
}  // namespace

Host& host()
{
    if (installed == nullptr) {
        // A programming error, not a runtime condition: every entry point, and every thread that
        // runs the link, installs a host first.
        std::fputs("platform::host() called before a host was installed on this thread\n", stderr);
        std::abort();
    }
    return *installed;
}

void Install(Host& newHost)
{
    installed = &newHost;
}

ScopedHost::ScopedHost(Host& h) : previous_(installed)
{
    installed = &h;
}

ScopedHost::~ScopedHost()
{
    installed = previous_;
}

}  // namespace platform
