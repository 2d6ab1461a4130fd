// The one waiting rule of every request: poll the receive queue against a tick deadline.
#pragma once

#include <cstdint>

// Polls until at least `enough` bytes wait or more than `deadlineMs` have passed since
// `sentTick`, pausing `pauseMs` after each poll. Returns the count seen at the last poll.
// `timedOut` is sticky: once set by an earlier wait it stays set, and the wait polls just once.
// Without a pause, the host may idle between polls (Host::IdleBetweenPolls): the deadline, read
// on the tick, stays the same. A host that abandons its waits (Host::WaitsAbandoned) ends them as
// timed out.
uint32_t WaitForBytes(uint32_t sentTick, uint32_t deadlineMs, uint32_t enough, uint32_t pauseMs, bool& timedOut);
