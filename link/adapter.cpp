// The adapter's four requests and how their answers are awaited.
#include <algorithm>
#include <array>

#include "link/Procedure_Tarv_Config.h"
#include "link/answer_wait.h"
#include "link/messages.h"
#include "model/Spremenljivke_Tarv_Config.h"
#include "platform/host.h"

bool DeadlinePassed(uint32_t startTick, uint32_t nowTick, uint32_t deadlineMs)
{
    // Unsigned subtraction keeps the elapsed time right across a wrap of the tick counter.
    return static_cast<uint32_t>(nowTick - startTick) > deadlineMs;
}

namespace {
thread_local ReadFailure lastReadFailure = ReadFailure::None;  // the thread's own, as its port is
}

ReadFailure LastReadFailure()
{
    return lastReadFailure;
}

void NoteReadFailure(ReadFailure failure)
{
    lastReadFailure = failure;
}

ReadFailure ReadFailureOf(uint32_t waiting)
{
    return waiting == 0 ? ReadFailure::NoAnswer : ReadFailure::WrongLength;
}

bool SendRequest(std::span<const uint8_t> frame)
{
    if (platform::host().RequestsAbandoned()) return false;
    WriteBytes(frame);
    return true;
}

uint32_t WaitForBytes(uint32_t sentTick, uint32_t deadlineMs, uint32_t enough, uint32_t pauseMs, bool& timedOut)
{
    platform::Host& h = platform::host();
    for (;;) {
        const uint32_t waiting = BytesWaiting();
        const uint32_t now = h.TickCount();
        if (pauseMs > 0) h.Sleep(pauseMs);
        if (DeadlinePassed(sentTick, now, deadlineMs)) timedOut = true;
        if (timedOut || waiting >= enough) return waiting;
        // A host that must not spin waits for the first byte, at most until the deadline has
        // passed (more than deadlineMs after the request). The waits without a pause want one byte.
        const uint32_t left = deadlineMs + 1 - static_cast<uint32_t>(now - sentTick);
        if (pauseMs == 0 && waiting == 0 && PortIsOpen()) h.IdleBetweenPolls(*SerialChannel.port, left);
    }
}

uint8_t PingAdapter()
{
    if (!PortIsOpen()) return 1;
    DiscardReceived();
    if (!SendRequest(AdapterCommand::Presence())) return 0;
    bool timedOut = false;
    const uint32_t waiting = WaitForBytes(platform::host().TickCount(), kPingDeadlineMs, 1, 0, timedOut);
    // Two or more bytes are no answer; they stay queued until the next request discards them.
    if (waiting != 1) return 0;
    uint8_t answer = 0;
    if (ReadBytes({&answer, 1}) != 1) return 0;
    // The adapter is on this port, however it was opened (a search, or the port dialog opening it
    // again): the port keeps the link's line settings when it closes.
    if (answer >= kAdapterStillThere) SerialChannel.port->AdapterAnswered();
    return answer;
}

void BlinkAdapter(int cycles, uint32_t pauseMs)
{
    platform::Host& h = platform::host();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        for (const uint8_t value : {AdapterCommand::kSignalOn, AdapterCommand::kSignalOff}) {
            // The pauses process window messages, and a handler run there may close the port.
            if (!PortIsOpen() || !SendRequest(AdapterCommand::Signal(value))) return;
            const uint32_t sent = h.TickCount();
            bool timedOut = false;
            if (WaitForBytes(sent, kSignalDeadlineMs, 1, 0, timedOut) >= 1) {
                uint8_t ignored = 0;
                ReadBytes({&ignored, 1});
            }
            do {
                h.ProcessMessages();
            } while (!DeadlinePassed(sent, h.TickCount(), pauseMs));
        }
    }
}

uint8_t ReadEepromBlock(uint8_t address, uint8_t count, std::span<uint8_t> buffer)
{
    platform::Host& h = platform::host();
    if (!PortIsOpen()) {
        NoteReadFailure(ReadFailure::NoPort);
        Show(messages::kBlockPortNotValid);
        return 0;
    }
    DiscardReceived();
    bool timedOut = false;
    const bool sent = SendRequest(AdapterCommand::EepromRead(address, count));
    const uint32_t waiting =
        sent ? WaitForBytes(h.TickCount(), kEepromDeadlineMs, count, kReadPollPauseMs, timedOut) : 0;
    if (waiting == count && buffer.size() >= count) {
        // Read into a scratch buffer first: a read that delivers fewer bytes than the queue
        // reported is a failed exchange, and the caller's buffer must then stay untouched.
        std::array<uint8_t, 255> answer{};
        if (ReadBytes(std::span(answer).first(count)) == count) {
            std::copy_n(answer.begin(), count, buffer.begin());
            NoteReadFailure(ReadFailure::None);
            return 1;
        }
    }
    NoteReadFailure(sent ? ReadFailureOf(waiting) : ReadFailure::Stopped);
    Show(messages::kBlockReadFailed);
    return 0;
}

WriteOutcome WriteEepromBlock(uint8_t address, std::span<const uint8_t> data)
{
    // A count outside 1..8 would spill over the adapter's eight-address group; never sent.
    if (data.empty() || data.size() > AdapterCommand::kMaxWriteCount) return WriteOutcome::Refused;
    // Without a port nothing can be sent, so there is nothing to wait for.
    if (!PortIsOpen()) return WriteOutcome::NoAnswer;
    DiscardReceived();
    std::array<uint8_t, 4 + AdapterCommand::kMaxWriteCount> frame{
        AdapterCommand::kEepromGroup, AdapterCommand::kEepromWrite, address, static_cast<uint8_t>(data.size())};
    std::copy(data.begin(), data.end(), frame.begin() + 4);
    if (!SendRequest(std::span(frame).first(4 + data.size()))) return WriteOutcome::NoAnswer;
    bool timedOut = false;
    const uint32_t waiting = WaitForBytes(platform::host().TickCount(), kEepromDeadlineMs, 1, 0, timedOut);
    uint8_t status = 0;
    size_t received = 0;
    if (waiting >= 1) received = ReadBytes({&status, 1});
    // A status byte that lands in the poll which passes the deadline is still no answer.
    if (timedOut || received == 0) return WriteOutcome::NoAnswer;
    return status == 0 ? WriteOutcome::Refused : WriteOutcome::Written;
}
