// Prints what SystemHost::VersionString finds in this program, which is built without a version
// record: the CTest case around it expects an empty version.
#include <cstdio>

#include "e2e/system_host_support.h"

int main()
{
    RecordingSystemHost host;
    std::printf("version [%s]\n", host.VersionString().c_str());
    return 0;
}
