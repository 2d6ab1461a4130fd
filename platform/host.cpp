#include "platform/host.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
Host* installed = nullptr;
}

Host& host()
{
    if (installed == nullptr) {
        // A programming error, not a runtime condition: every entry point installs a host first.
        std::fputs("platform::host() called before a host was installed\n", stderr);
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
