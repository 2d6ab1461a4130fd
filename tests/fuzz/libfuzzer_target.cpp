// libFuzzer entry: any input the checks reject stops the run with its reason.
#include <cstdio>
#include <cstdlib>

#include "fuzz/answer_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (const auto fault = RunAnswerFuzzCase({data, size})) {
        std::fprintf(stderr, "check failed: %s\n", fault->c_str());
        std::abort();
    }
    return 0;
}
