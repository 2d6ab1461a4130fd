// The soak's harness: one seed of the main window on the virtual clock, with one emulated KV24
// on COM3 whose fault changes at random every 0.7 s and a person who presses P or R and answers
// the message boxes; what the seed saw, and one line for a whole run. tests/gui/soak_test.cpp
// holds what is asserted of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

constexpr int kFaultSeconds = 90;  // how long a seed's faults last unless told otherwise

struct SeedReport {
    uint64_t seed = 0;
    std::vector<std::string> failures;
    std::string trace;  // the last events, kept for a failing seed or when asked for
    int faultChanges = 0;
    int keys = 0;
    int keysInBlink = 0;  // delivered while a tick's blink paused
    int keysInWait = 0;   // delivered while a command waited in WaitWatchIdle
    int keysLostToBoxes = 0;
    int boxes = 0;
    int ticks = 0;
    int maxDepth = 0;
    uint64_t tickAfterStopMs = 0;  // faults stopped -> first finished tick
    uint64_t tickBoundMs = 0;
    uint64_t longestSilenceBeforeStopMs = 0;
    uint64_t longestSilenceAfterLastKeyMs = 0;
    bool stoppedWatching = false;             // 30 s after the faults: no tick since, "No programming device
                                              // connected" with PROG and READ enabled
    uint64_t longestSilenceAfterAProgMs = 0;  // that began right after the sixteenth block of a PROG
};

// Runs one seed: `faultSeconds` of faults, then the checks once they have stopped. The trace of
// the last events is kept for a failing seed, or always with `keepWholeTrace`.
SeedReport RunSeed(uint64_t seed, int faultSeconds, bool keepWholeTrace);

// One line for the whole run: how much the soak went through, and the worst it saw.
std::string Summary(const std::vector<SeedReport>& reports);

// A number from the environment, or `fallback` when the variable is not set.
uint64_t EnvNumber(const char* name, uint64_t fallback);

}  // namespace soak
