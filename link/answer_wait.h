// The one rule of every request: it is sent unless the program was asked to stop, and its answer
// is awaited by polling the receive queue against a tick deadline.
#pragma once

#include <cstdint>
#include <span>

#include "link/Procedure_Tarv_Config.h"

// What the bytes waiting at a failed read's end tell: none answered, or not as it should.
ReadFailure ReadFailureOf(uint32_t waiting);
// Notes how this thread's read ended, for LastReadFailure.
void NoteReadFailure(ReadFailure failure);

// Sends a request on the open port; false, sending nothing, once the host abandons requests
// (Host::RequestsAbandoned): a program asked to stop asks the adapter for nothing more.
bool SendRequest(std::span<const uint8_t> frame);

// Polls until at least `enough` bytes wait or more than `deadlineMs` have passed since
// `sentTick`, pausing `pauseMs` after each poll. Returns the count seen at the last poll.
// `timedOut` is sticky: once set by an earlier wait it stays set, and the wait polls just once.
// Without a pause, the host may idle between polls (Host::IdleBetweenPolls): the deadline, read
// on the tick, stays the same. A stop asked for meanwhile does not cut the wait short: the answer's
// bytes would otherwise reach whichever program opens the port next.
uint32_t WaitForBytes(uint32_t sentTick, uint32_t deadlineMs, uint32_t enough, uint32_t pauseMs, bool& timedOut);
