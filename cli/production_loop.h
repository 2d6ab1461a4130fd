// program --each and verify --each on one port: the production line's loop. It polls the adapter,
// does its work once on each encoder put on, and waits for that encoder to be taken off. A line on
// several ports runs one loop per port, each on a thread of its own, sharing what ends the line.
#pragma once

#include <atomic>
#include <map>
#include <ostream>
#include <string>

#include "cli/cli_commands.h"

namespace cli {

// What the loops of one line share: how many encoders were done ok over all ports, and whether
// the line has ended (its count reached, or a record lost): then no loop begins another encoder.
struct LineShare {
    explicit LineShare(int countWanted) : count(countWanted) {}
    const int count;  // 0: until a signal
    std::atomic<int> doneOk{0};
    std::atomic<bool> ended{false};
};

// What one port's loop did.
struct PortTally {
    bool started = true;  // false when its named port did not open: nothing was done
    std::map<ExitCode, int> results;
    bool recordLost = false;
    int exitCode = 0;  // the last failure's, or 8 for a lost record
};

// Runs the loop on `options.port` (or, without one, on the port that the search finds) until a
// stop signal or the line's end; the adapter's port is closed afterwards. `waitForPort`: a port in
// use by another program (or gone) is searched for again instead of ending the command.
PortTally RunPortLoop(const CliOptions& options, RunContext& context, const EncoderStep& step, LineShare& share,
                      bool waitForPort);

// "3 ok, 2 failed (1 write-failed, 1 not-applicable)", and whether the last record was lost.
std::string TallyText(const PortTally& tally);

}  // namespace cli
