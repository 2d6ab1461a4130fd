// An AdapterEmulator served on the master side of a pseudo-terminal: a client opens the slave
// as its serial port and talks to the adapter in real time.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/adapter_emulator.h"

namespace sim {

class PtyServer {
public:
    // A new pty, already in raw mode; nullptr with `error` set when the system refuses one.
    static std::unique_ptr<PtyServer> Create(std::string& error);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // The adapter's timeline: microseconds since the pty was made.
    Micros Now() const;
    // The line settings the client has set on the slave, such as "19200 8N2".
    std::string LineSettings() const;
    // What Serve does with standard input: nothing, or pass its lines on; and whether its end
    // ends the serving.
    struct StdinUse {
        std::function<void(const std::string&)> onLine;  // empty: lines are read and dropped
        bool read = false;
        bool stopAtEof = false;
    };

    // Passes what the client writes to `adapter` and its answers back, each byte when it is due,
    // until `stopFd` becomes readable or, with `stdinUse.stopAtEof`, standard input ends.
    void Serve(AdapterEmulator& adapter, int stopFd, const StdinUse& stdinUse);

private:
    PtyServer(int master, int slave, std::string slavePath);
    void Receive(AdapterEmulator& adapter);
    void SendDue(AdapterEmulator& adapter);
    bool ReadStdin(const StdinUse& stdinUse);  // false once standard input has ended

    int master_;
    int slave_;  // held open by the server itself, see Create
    std::string slavePath_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::vector<uint8_t> unsent_;  // due bytes that the pty could not take yet
    std::string stdinLine_;        // standard input's last line, until its newline comes
};

}  // namespace sim
