// Seeded fault soak of the main window on the virtual clock.
//
// One emulated KV24 on COM3 has its fault changed at random every 0.7 s: silence; presence
// answers of 0, 2, 3 or two bytes; read answers short by 1-4 bytes or one byte long; a refused
// or an unanswered block; a write that stores one flipped bit; answers late by 45-510 ms, mostly
// around the deadlines. From the end of the first watch tick a person presses P or R every
// 0.8-2 s and answers each message box with OK after a moment. Then the faults stop and one
// more P is pressed.
//
// The test plays the message loop. Keys are real key events sent to the focus widget, so they
// take the application event filter's way into FormKeyDown. They are delivered wherever the
// program processes messages: in the idle loop, in a blink's pause, in WaitWatchIdle (a key
// pressed while the program polls the wire waits for the next of those). While a message box
// is up, keys go to the box and do nothing. Timer1 fires when it is active and one interval has
// passed since it was last started, in the idle loop and inside message processing alike, as
// a Qt timer does.
//
// After each seed, once the faults have stopped:
// - a watch tick ends within one 3000 ms interval plus 5000 ms for every WaitWatchIdle that the
//   commands still nested or queued can run (two for P, one for R), plus their work;
// - from the last key on, the wire is never silent for longer than one WaitWatchIdle;
// - after that tick the status and the two buttons agree, and the adapter is found again;
// - a clean PROG at rest reads, writes sixteen blocks, reads back and verifies, and leaves the
//   encoder with a valid settings CRC, record checksum and today's date;
// - no command is nested any more, the timer runs and the watch is idle;
// - every message box shown during the seed has one of the program's texts.
//
// Each run prints one line: seeds, fault changes, ticks, keys and where they landed, how many
// seeds stopped watching as reported, the deepest nesting, the slowest return of the watch and
// the longest silences on the wire. CI runs 300 seeds of 90 s of faults (about 40,000 fault
// changes, a second or two). By hand, more or other seeds:
//   TARV_SOAK_SEEDS=5000 build/ci/tests/tarv_gui_tests --gtest_filter='Soak*'
//   TARV_SOAK_FIRST_SEED=7000 TARV_SOAK_SEEDS=1000 ...   (seeds 7000..7999)
//   TARV_SOAK_SECONDS=300 ...                             (longer fault phase per seed)
//   TARV_SOAK_SEED=1234 TARV_SOAK_TRACE=1 ...             (one seed, its whole event trace)
//
// The end of the file holds the nesting tests: what a key may start in the meantime, and how
// deep that goes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Main_Tarv_Config.h"
#include "commands/device_watch.h"
#include "commands/settings_tables.h"
#include "gui/form_fixture.h"
#include "link/messages.h"
#include "support/link_fixture.h"

namespace {

using sim::AdapterOptions;
using sim::RequestKind;

constexpr uint64_t kMs = 1000;  // the virtual clock counts microseconds
constexpr int32_t kToday = 46000;
constexpr int kCiSeeds = 300;
constexpr int kFaultSeconds = 90;
constexpr uint64_t kFaultChangeMs = 700;
constexpr int kKeyGapMinMs = 800;
constexpr int kKeyGapMaxMs = 2000;
constexpr int kBoxAnswerMinMs = 150;
constexpr int kBoxAnswerMaxMs = 900;
constexpr uint64_t kLongestInterval = kWatchIntervalWithoutPortMs;
// Work that a command or a tick does besides its waits: a whole-memory read, sixteen blocks and
// a read-back take a few ms with a prompt adapter; a search with a blink about a second.
constexpr uint64_t kWorkAllowanceMs = 1000;
// The wire may rest for one WaitWatchIdle, plus the reads and boxes around it.
constexpr uint64_t kLongestSilenceMs = kWatchIdleWaitMs + kWorkAllowanceMs;
constexpr uint64_t kLookAfterStopMs = 30'000;

uint64_t EnvNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// SplitMix64: the same numbers from a seed on every platform and standard library.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }

private:
    uint64_t state_;
};

enum class Fault {
    None,
    Silence,
    Presence0,
    Presence2,
    Presence3,
    PresenceTwoBytes,
    ReadShort,
    ReadLong,
    BlockRefused,
    BlockUnanswered,
    FlippedBit,
    Late,
    Count
};

// Every text a box of the program can carry, with its title.
bool KnownBox(const Message& m)
{
    static const std::set<std::pair<std::string, std::string>> known = {
        {"No programming device", "ERROR"},
        {"EEPROM read error", "ERROR"},
        {"COM port is not responding!", "ERROR"},
        {"COM port is not responding", "ERROR"},
        {"Writing to EEPROM was unsuccesfull", "ERROR"},
        {"EEPROM verification error", "ERROR"},
        {"Written data is corrupted", "EEPROM verification error"},
        {"False communication with EEPROM 1", "ERROR"},
        {"False communication with EEPROM", "ERROR"},
        {"COM port not valid 1", "ERROR"},
        {"COM port not valid", "ERROR"},
        {"Error", "COM PORT"},
        {messages::kResolution04BWarning.text, "Warning!"},
        {messages::kResolution03BWarning.text, "Warning!"},
    };
    return known.count({m.text, m.title}) != 0;
}

// A port that lets the soak change the adapter's fault at the exact virtual time, also while the
// program polls the wire without processing messages.
class FaultSwitchingPort final : public platform::SerialPort {
public:
    FaultSwitchingPort(std::unique_ptr<platform::SerialPort> inner, std::function<void()> beforeEachCall)
        : inner_(std::move(inner)), before_(std::move(beforeEachCall))
    {
    }
    void DiscardReceived() override
    {
        before_();
        inner_->DiscardReceived();
    }
    std::optional<uint32_t> BytesWaiting() override
    {
        before_();
        return inner_->BytesWaiting();
    }
    void Write(std::span<const uint8_t> bytes) override
    {
        before_();
        inner_->Write(bytes);
    }
    size_t Read(std::span<uint8_t> into) override
    {
        before_();
        return inner_->Read(into);
    }

private:
    std::unique_ptr<platform::SerialPort> inner_;
    std::function<void()> before_;
};

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

// One seed: the window, the adapter, the person and the message loop.
class SoakRun {
public:
    SoakRun(uint64_t seed, int faultSeconds, bool keepWholeTrace)
        : faults_(seed * 3 + 1),
          person_(seed * 3 + 2),
          boxes_(seed * 3 + 3),
          installed_(host_),
          keepWholeTrace_(keepWholeTrace),
          faultSeconds_(faultSeconds)
    {
        report_.seed = seed;
        ResetProgramState();
    }

    ~SoakRun()
    {
        form_.reset();
        host_.OnProcessMessages(nullptr);
        host_.OnShowMessage(nullptr);
        ResetProgramState();
    }

    SeedReport Run()
    {
        host_.SetToday(kToday);
        adapter_ = std::make_shared<sim::AdapterEmulator>(sim::Format2Image());
        host_.ListPort("COM3");
        host_.ConnectPort("COM3", [this] {
            return std::make_unique<FaultSwitchingPort>(
                std::make_unique<sim::EmulatedPort>(adapter_, [this] { return host_.NowMicros(); }),
                [this] { SwitchFaultsWhenDue(); });
        });
        form_ = std::make_unique<TForm1>();  // start-up, with a clean adapter and no keys yet
        host_.OnProcessMessages([this] { Pump(); });
        host_.OnShowMessage([this](const Message& m) { AnswerBox(m); });
        NoteTimer(true);
        form_->findChild<QPushButton*>("BtnProg")->setFocus();  // where a shown window puts it first

        faultsStart_ = host_.NowMicros();
        nextFaultChange_ = faultsStart_;
        faultsEnd_ = faultsStart_ + static_cast<uint64_t>(faultSeconds_) * 1000 * kMs;
        hardLimit_ = faultsEnd_ + 20 * 60 * 1000 * kMs;
        faultsStarted_ = true;

        RunLoop([this] { return faultsStopped_ && finalKeyReturned_ && lastQuietTickEnd_ > finalKeyReturnedAt_; },
                hardLimit_);
        CheckTheWatchCameBack();
        if (report_.failures.empty()) CheckACleanProgram();
        CheckAtRest();
        if (!report_.failures.empty() || keepWholeTrace_) report_.trace = TraceText();
        return report_;
    }

private:
    enum class FrameKind { Tick, Command };
    struct Frame {
        FrameKind kind;
        int key = 0;
    };
    struct Key {
        uint64_t at;
        int code;
        bool final;
    };

    uint64_t Now() const { return host_.NowMicros(); }
    uint64_t MsSinceStart(uint64_t micros) const { return (micros - faultsStart_) / kMs; }

    void Trace(const std::string& what)
    {
        std::ostringstream line;
        line << (Now() >= faultsStart_ ? MsSinceStart(Now()) : 0) << " ms  depth " << stack_.size() << "  " << what;
        trace_.push_back(line.str());
        if (!keepWholeTrace_ && trace_.size() > 200) trace_.pop_front();
    }

    std::string TraceText() const
    {
        std::string text;
        for (const auto& line : trace_) text += "    " + line + "\n";
        return text;
    }

    void Fail(const std::string& what)
    {
        Trace("FAILED: " + what);
        report_.failures.push_back(what);
    }

    std::string Status() const { return form_->findChild<QLabel*>("StBar1Panel0")->text().toStdString(); }
    bool ProgEnabled() const { return form_->findChild<QPushButton*>("BtnProg")->isEnabled(); }
    bool ReadEnabled() const { return form_->findChild<QPushButton*>("BtnRead")->isEnabled(); }

    // ---- The adapter's faults ---------------------------------------------------------------

    // How the window looks 30 s after the faults stopped, as the person saw it.
    void LookAtTheWindowWhenDue()
    {
        if (!faultsStopped_ || lookedAtTheWindow_ || Now() < faultsEnd_ + kLookAfterStopMs * kMs) return;
        lookedAtTheWindow_ = true;
        report_.stoppedWatching =
            firstTickAfterStop_ == 0 && Status() == "No programming device connected" && ProgEnabled() && ReadEnabled();
        if (report_.stoppedWatching) Trace("30 s after the faults the window has stopped watching");
    }

    void SwitchFaultsWhenDue()
    {
        LookAtTheWindowWhenDue();
        if (!faultsStarted_ || faultsStopped_ || Now() < nextFaultChange_) return;
        if (Now() >= faultsEnd_) {
            adapter_->options() = AdapterOptions{};
            faultsStopped_ = true;
            FaultsStopped();
            return;
        }
        while (Now() >= nextFaultChange_ && nextFaultChange_ < faultsEnd_) {
            SetFault(static_cast<Fault>(faults_.Between(0, static_cast<int>(Fault::Count) - 1)));
            nextFaultChange_ += kFaultChangeMs * kMs;
            ++report_.faultChanges;
        }
        if (nextFaultChange_ >= faultsEnd_) nextFaultChange_ = faultsEnd_;
    }

    void SetFault(Fault fault)
    {
        AdapterOptions o;
        std::ostringstream what;
        const auto block = [this] { return static_cast<uint8_t>(8 * faults_.Between(0, 15)); };
        switch (fault) {
        case Fault::None:
            what << "none";
            break;
        case Fault::Silence:
            o.unplugged = true;
            what << "silence";
            break;
        case Fault::Presence0:
        case Fault::Presence2:
        case Fault::Presence3:
            o.presenceAnswer = fault == Fault::Presence0 ? 0 : fault == Fault::Presence2 ? 2 : 3;
            what << "presence answer " << int{*o.presenceAnswer};
            break;
        case Fault::PresenceTwoBytes:
            o.extraAnswerBytes = 1;
            o.extraBytesOnly = RequestKind::Presence;
            what << "presence answer of two bytes";
            break;
        case Fault::ReadShort:
            o.shortReadBy = faults_.Between(1, 4);
            what << "reads short by " << o.shortReadBy;
            break;
        case Fault::ReadLong:
            o.extraAnswerBytes = 1;
            o.extraBytesOnly = RequestKind::EepromRead;
            what << "reads one byte long";
            break;
        case Fault::BlockRefused:
            o.blockStatus[block()] = 0;
            what << "block " << int{o.blockStatus.begin()->first} << " refused";
            break;
        case Fault::BlockUnanswered:
            o.ignoredBlocks.insert(block());
            what << "block " << int{*o.ignoredBlocks.begin()} << " unanswered";
            break;
        case Fault::FlippedBit: {
            const auto cell = static_cast<uint8_t>(faults_.Between(0, eeprom::kImageSize - 1));
            o.flippedBits[cell] = static_cast<uint8_t>(1u << faults_.Between(0, 7));
            what << "cell " << int{cell} << " stores bit mask " << int{o.flippedBits[cell]} << " flipped";
            break;
        }
        case Fault::Late: {
            // Mostly just around the deadlines of the ping, the blink and the memory requests.
            static constexpr int kDeadlines[] = {50, 300, 500};
            const int ms = faults_.Between(0, 1) == 0 ? kDeadlines[faults_.Between(0, 2)] + faults_.Between(-5, 10)
                                                      : faults_.Between(45, 510);
            o.latency = static_cast<sim::Micros>(ms) * kMs;
            what << "answers " << ms << " ms late";
            break;
        }
        case Fault::Count:
            break;
        }
        adapter_->options() = o;
        Trace("fault: " + what.str());
    }

    // The person goes on at a person's pace, from the end of the first tick to the end of the faults.
    void PlanKeys()
    {
        uint64_t at = Now() + static_cast<uint64_t>(person_.Between(0, kKeyGapMaxMs)) * kMs;
        while (at < faultsEnd_) {
            keys_.push_back({at, person_.Between(0, 1) == 0 ? Qt::Key_P : Qt::Key_R, false});
            at += static_cast<uint64_t>(person_.Between(kKeyGapMinMs, kKeyGapMaxMs)) * kMs;
        }
    }

    void FaultsStopped()
    {
        // One more P, pressed a moment after the faults stop.
        keys_.push_back({faultsEnd_ + static_cast<uint64_t>(person_.Between(200, 1500)) * kMs, Qt::Key_P, true});
        // Every wait still to come: the commands nested now, and the keys not yet delivered.
        uint64_t waits = 0;
        uint64_t commands = 0;
        const auto count = [&](int key) {
            waits += key == Qt::Key_P ? 2 : 1;
            ++commands;
        };
        for (const Frame& f : stack_)
            if (f.kind == FrameKind::Command) count(f.key);
        for (const Key& k : keys_) count(k.code);
        report_.tickBoundMs = kLongestInterval + kWatchIdleWaitMs * waits + kWorkAllowanceMs * (commands + 1);
        report_.longestSilenceBeforeStopMs = LongestSilence(faultsStart_, faultsEnd_);
        Trace("faults stop; nested " + std::to_string(stack_.size()) + ", keys to come " +
              std::to_string(keys_.size()) + ", tick due within " + std::to_string(report_.tickBoundMs) + " ms");
    }

    // ---- The message loop -------------------------------------------------------------------

    bool KeyDue() const { return !keys_.empty() && Now() >= keys_.front().at; }

    bool TimerDue() const
    {
        return form_->Timer1->isActive() &&
               Now() >= timerStartedAt_ + static_cast<uint64_t>(form_->Timer1->interval()) * kMs;
    }

    // Timer1 counts from its last start. Every handler that finds it running stops it and starts
    // it again as its last act, so a handler that returns with the timer running has just
    // started it; a timer seen running where it was stopped before was started since.
    void NoteTimer(bool handlerReturned)
    {
        const bool active = form_->Timer1->isActive();
        if (active && (handlerReturned || !timerWasActive_)) timerStartedAt_ = Now();
        timerWasActive_ = active;
    }

    // One pass of message processing: the keys pressed by now, then the timer if it is due.
    // Returns whether it delivered anything.
    bool Pump()
    {
        if (Now() > hardLimit_) Abandon();
        SwitchFaultsWhenDue();
        NoteTimer(false);
        bool delivered = false;
        for (;;) {
            if (KeyDue()) {
                const Key key = keys_.front();
                keys_.pop_front();
                DeliverKey(key);
            } else if (TimerDue()) {
                FireTick();
            } else {
                break;
            }
            delivered = true;
        }
        return delivered;
    }

    // The idle loop: what is due runs, otherwise the clock moves on to the next thing.
    void RunLoop(const std::function<bool()>& done, uint64_t limit)
    {
        while (!done() && Now() < limit) {
            if (Pump()) continue;
            uint64_t next = limit;
            if (!faultsStopped_) next = std::min(next, nextFaultChange_);
            if (faultsStopped_ && !lookedAtTheWindow_) next = std::min(next, faultsEnd_ + kLookAfterStopMs * kMs);
            if (!keys_.empty()) next = std::min(next, keys_.front().at);
            if (form_->Timer1->isActive())
                next = std::min(next, timerStartedAt_ + static_cast<uint64_t>(form_->Timer1->interval()) * kMs);
            host_.Advance(next > Now() ? next - Now() : kMs);
        }
    }

    void DeliverKey(const Key& key)
    {
        const char* name = key.code == Qt::Key_P ? "P" : "R";
        if (stack_.empty()) {
            Trace(std::string("key ") + name + " in the idle loop");
        } else if (stack_.back().kind == FrameKind::Tick) {
            ++report_.keysInBlink;  // a tick processes messages only in its blink's pauses
            Trace(std::string("key ") + name + " during a tick's blink");
        } else {
            ++report_.keysInWait;  // a command processes messages only in WaitWatchIdle
            Trace(std::string("key ") + name + " during WaitWatchIdle");
        }
        ++report_.keys;
        stack_.push_back({FrameKind::Command, key.code});
        report_.maxDepth = std::max(report_.maxDepth, static_cast<int>(stack_.size()));

        QWidget* target = form_->focusWidget() != nullptr ? form_->focusWidget() : form_.get();
        const QString text = QString(QChar(key.code)).toLower();
        QKeyEvent press(QEvent::KeyPress, key.code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key.code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &release);

        stack_.pop_back();
        Trace(std::string("key ") + name + " returned");
        NoteTimer(true);
        if (key.final) {
            finalKeyPressedAt_ = key.at;
            finalKeyReturned_ = true;
            finalKeyReturnedAt_ = Now();
        }
    }

    void FireTick()
    {
        Trace(stack_.empty() ? "tick" : "tick inside message processing");
        stack_.push_back({FrameKind::Tick});
        form_->Timer1Timer();
        stack_.pop_back();
        ++report_.ticks;
        Trace("tick ends: " + Status() + (ProgEnabled() ? ", PROG on" : ", PROG off") +
              (ReadEnabled() ? ", READ on" : ", READ off"));
        NoteTimer(true);
        if (!firstTickEnded_) {
            firstTickEnded_ = true;
            PlanKeys();
        }
        if (faultsStopped_ && firstTickAfterStop_ == 0) firstTickAfterStop_ = Now();
        if (stack_.empty()) {
            lastQuietTickEnd_ = Now();
            quietTickStatus_ = Status();
            quietTickProg_ = ProgEnabled();
            quietTickRead_ = ReadEnabled();
        }
    }

    // The person reads the box and presses OK. Keys pressed meanwhile go to the box; a running
    // timer would still fire under it.
    void AnswerBox(const Message& m)
    {
        ++report_.boxes;
        Trace("box: " + m.text + " / " + m.title);
        if (!KnownBox(m)) Fail("a box that the program does not have: \"" + m.text + "\" / \"" + m.title + "\"");
        const uint64_t answered = Now() + static_cast<uint64_t>(boxes_.Between(kBoxAnswerMinMs, kBoxAnswerMaxMs)) * kMs;
        while (Now() < answered) {
            host_.Advance(kMs);
            SwitchFaultsWhenDue();
            NoteTimer(false);
            while (KeyDue()) {
                const Key key = keys_.front();
                keys_.pop_front();
                ++report_.keysLostToBoxes;
                Trace(std::string("key ") + (key.code == Qt::Key_P ? "P" : "R") + " went to the box");
                if (key.final) {
                    finalKeyPressedAt_ = key.at;
                    finalKeyReturned_ = true;
                    finalKeyReturnedAt_ = Now();
                }
            }
            if (TimerDue()) FireTick();
        }
    }

    [[noreturn]] void Abandon()
    {
        Fail("the program never came back to its idle loop (virtual time ran past the soak's limit)");
        std::fprintf(stderr, "soak seed %llu abandoned:\n%s", static_cast<unsigned long long>(report_.seed),
                     TraceText().c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }

    // ---- The checks -------------------------------------------------------------------------

    uint64_t LongestSilence(uint64_t from, uint64_t to) const
    {
        uint64_t last = from;
        uint64_t longest = 0;
        for (const auto& frame : adapter_->log()) {
            if (frame.at < from) continue;
            if (frame.at > to) break;
            longest = std::max(longest, frame.at - last);
            last = frame.at;
        }
        return std::max(longest, to - last) / kMs;
    }

    void CheckTheWatchCameBack()
    {
        if (!finalKeyReturned_ || lastQuietTickEnd_ <= finalKeyReturnedAt_) {
            Fail("the watch never ended a tick after the last key, within 20 minutes");
            return;
        }
        report_.tickAfterStopMs = (firstTickAfterStop_ - faultsEnd_) / kMs;
        if (report_.tickAfterStopMs > report_.tickBoundMs)
            Fail("stall: the first tick after the faults stopped ended " + std::to_string(report_.tickAfterStopMs) +
                 " ms later, allowed " + std::to_string(report_.tickBoundMs) + " ms");
        const uint64_t silence = LongestSilence(finalKeyPressedAt_, Now());
        report_.longestSilenceAfterLastKeyMs = silence;
        const auto& log = adapter_->log();
        for (size_t i = 0; i + 1 < log.size(); ++i) {
            if (log[i].kind != RequestKind::EepromWrite || log[i].bytes[2] != 120) continue;
            const uint64_t gap = (log[i + 1].at - log[i].at) / kMs;
            report_.longestSilenceAfterAProgMs = std::max(report_.longestSilenceAfterAProgMs, gap);
        }
        if (silence > kLongestSilenceMs)
            Fail("the wire was silent for " + std::to_string(silence) + " ms after the last key");
        if (quietTickStatus_ != "Programming device on COM3" || !quietTickProg_ || !quietTickRead_)
            Fail("after the tick the window shows \"" + quietTickStatus_ + "\" with PROG " +
                 (quietTickProg_ ? "on" : "off") + " and READ " + (quietTickRead_ ? "on" : "off"));
    }

    void CheckACleanProgram()
    {
        adapter_->ClearLog();
        const size_t boxesBefore = host_.messages().size();
        Trace("clean PROG at rest");
        keys_.push_back({Now(), Qt::Key_P, false});
        Pump();
        std::vector<RequestKind> kinds;
        for (const auto& frame : adapter_->log()) kinds.push_back(frame.kind);
        std::vector<RequestKind> expected(4, RequestKind::EepromRead);
        expected.insert(expected.end(), 16, RequestKind::EepromWrite);
        expected.insert(expected.end(), 4, RequestKind::EepromRead);
        if (kinds.size() < expected.size() || !std::equal(expected.begin(), expected.end(), kinds.begin()))
            Fail("a clean PROG did not read, write sixteen blocks and read back (" + std::to_string(kinds.size()) +
                 " frames)");
        for (size_t i = boxesBefore; i < host_.messages().size(); ++i)
            Fail("a clean PROG showed \"" + host_.messages()[i].text + "\"");

        const auto& m = adapter_->memory();
        if (m[eeprom::kConfigCrcByte] != ComputeConfigCrc(m, eeprom::kConfigCrcByte, 0))
            Fail("the settings CRC on the encoder is wrong");
        const std::span<const uint8_t> record(m.begin() + eeprom::kProductRecordAddress, 21);
        if (m[eeprom::format2::kRecordChecksum] != SumChecksum(record))
            Fail("the record checksum on the encoder is wrong");
        if (m[eeprom::format2::kFormatVersion] != eeprom::kFormat2) Fail("the record on the encoder is not format 2");
        const auto today = DayNumberToBytes(kToday);
        if (!std::equal(today.begin(), today.end(), m.begin() + eeprom::format2::kLastChangedDate))
            Fail("the last-changed date on the encoder is not today");
    }

    void CheckAtRest()
    {
        if (!stack_.empty()) Fail("commands still nested: " + std::to_string(stack_.size()));
        if (!form_->Timer1->isActive()) Fail("the timer is stopped at rest");
        if (!DeviceModel.WatchIdle) Fail("the watch is not idle at rest");
    }

    Rng faults_;
    Rng person_;
    Rng boxes_;
    platform::VirtualHost host_;
    platform::ScopedHost installed_;
    bool keepWholeTrace_;
    int faultSeconds_;
    std::shared_ptr<sim::AdapterEmulator> adapter_;
    std::unique_ptr<TForm1> form_;
    SeedReport report_;
    std::deque<std::string> trace_;

    uint64_t faultsStart_ = 0;
    uint64_t faultsEnd_ = 0;
    uint64_t nextFaultChange_ = 0;
    uint64_t hardLimit_ = UINT64_MAX;
    bool lookedAtTheWindow_ = false;
    bool faultsStarted_ = false;
    bool faultsStopped_ = false;

    std::deque<Key> keys_;
    std::vector<Frame> stack_;
    bool firstTickEnded_ = false;
    bool finalKeyReturned_ = false;
    uint64_t finalKeyPressedAt_ = 0;
    uint64_t finalKeyReturnedAt_ = 0;

    bool timerWasActive_ = false;
    uint64_t timerStartedAt_ = 0;
    uint64_t firstTickAfterStop_ = 0;
    uint64_t lastQuietTickEnd_ = 0;
    std::string quietTickStatus_;
    bool quietTickProg_ = false;
    bool quietTickRead_ = false;
};

// One line for the whole run: how much the soak went through, and the worst it saw.
std::string Summary(const std::vector<SeedReport>& reports)
{
    SeedReport sum;
    int stopped = 0;
    std::string stoppedSeeds;
    uint64_t deepestSeed = 0, slowestSeed = 0, afterProgSeed = 0;
    for (const auto& r : reports) {
        sum.faultChanges += r.faultChanges;
        sum.keys += r.keys;
        sum.keysInBlink += r.keysInBlink;
        sum.keysInWait += r.keysInWait;
        sum.keysLostToBoxes += r.keysLostToBoxes;
        sum.boxes += r.boxes;
        sum.ticks += r.ticks;
        if (r.stoppedWatching && ++stopped <= 8) stoppedSeeds += " " + std::to_string(r.seed);
        if (r.maxDepth > sum.maxDepth) {
            sum.maxDepth = r.maxDepth;
            deepestSeed = r.seed;
        }
        if (r.tickAfterStopMs > sum.tickAfterStopMs) {
            sum.tickAfterStopMs = r.tickAfterStopMs;
            slowestSeed = r.seed;
        }
        if (r.longestSilenceAfterAProgMs > sum.longestSilenceAfterAProgMs) {
            sum.longestSilenceAfterAProgMs = r.longestSilenceAfterAProgMs;
            afterProgSeed = r.seed;
        }
        sum.longestSilenceBeforeStopMs = std::max(sum.longestSilenceBeforeStopMs, r.longestSilenceBeforeStopMs);
        sum.longestSilenceAfterLastKeyMs = std::max(sum.longestSilenceAfterLastKeyMs, r.longestSilenceAfterLastKeyMs);
    }
    std::ostringstream s;
    s << reports.size() << " seeds, " << sum.faultChanges << " fault changes, " << sum.ticks << " ticks, " << sum.keys
      << " keys (" << sum.keysInBlink << " in a blink, " << sum.keysInWait << " in WaitWatchIdle, "
      << sum.keysLostToBoxes << " to a box), " << sum.boxes << " boxes; " << stopped << " seeds stopped watching ("
      << stoppedSeeds << (stopped > 8 ? " ..." : "") << "); deepest nesting " << sum.maxDepth << " (seed "
      << deepestSeed << "); slowest tick after the faults " << sum.tickAfterStopMs << " ms (seed " << slowestSeed
      << "); longest silence on the wire under faults " << sum.longestSilenceBeforeStopMs << " ms, after the last key "
      << sum.longestSilenceAfterLastKeyMs << " ms, after a PROG's sixteen blocks " << sum.longestSilenceAfterAProgMs
      << " ms (seed " << afterProgSeed << ")";
    return s.str();
}

TEST(Soak, SeededFaultsHoldTheWatchOnlyForTheNestedWaits)
{
    const uint64_t single = EnvNumber("TARV_SOAK_SEED", UINT64_MAX);
    const uint64_t first = single != UINT64_MAX ? single : EnvNumber("TARV_SOAK_FIRST_SEED", 1);
    const uint64_t count = single != UINT64_MAX ? 1 : EnvNumber("TARV_SOAK_SEEDS", kCiSeeds);
    const int seconds = static_cast<int>(EnvNumber("TARV_SOAK_SECONDS", kFaultSeconds));
    const bool trace = EnvNumber("TARV_SOAK_TRACE", 0) != 0;

    std::vector<SeedReport> reports;
    int failing = 0;
    for (uint64_t seed = first; seed < first + count; ++seed) {
        SeedReport report = SoakRun(seed, seconds, trace).Run();
        if (!report.failures.empty()) {
            ++failing;
            std::ostringstream what;
            what << "seed " << seed << ":";
            for (const auto& f : report.failures) what << "\n  " << f;
            if (failing <= 3) what << "\n  last events:\n" << report.trace;
            ADD_FAILURE() << what.str();
        } else if (trace) {
            std::printf("seed %llu:\n%s", static_cast<unsigned long long>(seed), report.trace.c_str());
        }
        reports.push_back(std::move(report));
    }
    std::printf("[ soak     ] %s; %d failing\n", Summary(reports).c_str(), failing);
    // The seeds that CI runs must still reach the state of the report, or the soak proves nothing.
    if (count >= kCiSeeds) {
        EXPECT_TRUE(std::any_of(reports.begin(), reports.end(), [](const SeedReport& r) { return r.stoppedWatching; }));
    }
}

// Seed 17 shows the stall and its cause. At 1043 ms, while a tick that has just found the adapter
// again blinks it, P starts PROG inside the half-done tick. Its WaitWatchIdle cannot end early,
// and from then on every key (one each 0.8-2 s) lands in the newest command's 5000 ms wait and
// nests another: 64 commands by the time the faults stop, the wire silent for 89 s of them. Only
// once the keys stop does the innermost wait run out; each PROG on the way down then reads, writes
// its sixteen blocks and waits 5000 ms more for its read-back. 30 s after the faults the window
// has stopped watching; the tick ends 204.7 s after the faults, within the waits still nested.
// After the last key the wire never rests longer than one WaitWatchIdle. (Seed 4 showed the same
// until PROG's verification covered the record: a flipped bit in the manufactured date now gets
// its box at 6.4 s, and that run no longer nests.)
TEST(Soak, Seed17StopsWatchingOnlyAsLongAsItsNestedWaits)
{
    const SeedReport r = SoakRun(17, kFaultSeconds, false).Run();
    EXPECT_TRUE(r.failures.empty()) << r.trace;
    EXPECT_TRUE(r.stoppedWatching);
    EXPECT_EQ(r.keysInBlink, 1);
    EXPECT_GE(r.maxDepth, 60);
    EXPECT_GT(r.longestSilenceBeforeStopMs, 75'000u);
    EXPECT_GT(r.tickAfterStopMs, 180'000u);  // 204.7 s as the window is now
    EXPECT_LE(r.tickAfterStopMs, r.tickBoundMs);
    EXPECT_LE(r.longestSilenceAfterLastKeyMs, kWatchIdleWaitMs + 2);
}

// ---- How deep keys may nest ---------------------------------------------------------------

// Keys pressed before the first tick ends nest one command inside the other, each in its own
// 5000 ms WaitWatchIdle, for as long as they come (a held key repeats some 30 times a second).
// Nothing bounds that depth, so the stack has to carry it: a thousand nested commands run,
// unwind in order and leave the timer as the outermost found it, and each level costs the
// stack little enough that a thousand of them fit in a fraction of a main thread's stack.
// Under the sanitizers every frame carries red zones, so only plain builds are held to the
// budget: 2 KiB a level, 2 MiB for the thousand, a quarter of Linux's 8 MiB main stack.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kInstrumentedStack = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kInstrumentedStack = true;
#else
constexpr bool kInstrumentedStack = false;
#endif
#else
constexpr bool kInstrumentedStack = false;
#endif

void ExpectStackFits(uintptr_t used, int levels)
{
    if (kInstrumentedStack) return;
    EXPECT_LT(used / static_cast<uintptr_t>(levels - 1), 2048u);
    EXPECT_LT(used, 2u * 1024 * 1024);
}

class KeyTest : public FormTest {
protected:
    // A key as the window gets it: a key event to the focus widget, through the event filter.
    void PressKey(int key)
    {
        QWidget* target = form->focusWidget() != nullptr ? form->focusWidget() : form.get();
        const QString text = QString(QChar(key)).toLower();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &release);
    }
};

// Without a port the watch ticks every 3000 ms, and each command gives Timer1 back a full
// interval: keys pressed more often than that keep the watch from ticking at all until they
// stop. It is how the timer is shared; the soak's seeds show it while the adapter is lost.
TEST_F(KeyTest, ACommandGivesTheTimerBackAFullInterval)
{
    host.ListPort("COM1");  // nothing answers there
    MakeForm();
    form->Timer1Timer();
    ASSERT_EQ(form->Timer1->interval(), kWatchIntervalWithoutPortMs);
    // Half the interval passes on the real clock, which Qt's timer counts; then the key.
    std::this_thread::sleep_for(std::chrono::milliseconds(kWatchIntervalWithoutPortMs / 2));
    PressKey(Qt::Key_R);
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"COM port not valid", "ERROR"}}));
    EXPECT_TRUE(form->Timer1->isActive());
    // Restarted, not resumed: well over the half that was left (margin for a loaded machine).
    EXPECT_GT(form->Timer1->remainingTime(), kWatchIntervalWithoutPortMs * 2 / 3);
}

TEST_F(KeyTest, AThousandNestedCommandsBeforeTheFirstTickUnwindAndFitTheStack)
{
    constexpr int kCommands = 1000;
    auto adapter = OpenAdapter();
    MakeForm();
    ASSERT_FALSE(DeviceModel.WatchIdle);  // no tick has ended yet
    adapter->ClearLog();

    int pressed = 0;
    int depth = 0;
    int deepest = 0;
    std::vector<uintptr_t> stackAtDepth(kCommands + 1, 0);
    std::vector<int> returnedInOrder;
    const auto pressNext = [&] {
        const int key = pressed % 2 == 0 ? Qt::Key_R : Qt::Key_P;
        ++pressed;
        const int mine = ++depth;
        deepest = std::max(deepest, depth);
        volatile char here = 0;
        stackAtDepth[static_cast<size_t>(mine)] = reinterpret_cast<uintptr_t>(&here);
        PressKey(key);
        returnedInOrder.push_back(mine);
        --depth;
    };
    // One key at each pass of message processing, that is in each new command's WaitWatchIdle.
    host.OnProcessMessages([&] {
        if (pressed < kCommands) pressNext();
    });
    const uint64_t start = host.NowMicros();
    pressNext();
    host.OnProcessMessages(nullptr);

    EXPECT_EQ(deepest, kCommands);
    ASSERT_EQ(returnedInOrder.size(), static_cast<size_t>(kCommands));
    for (int i = 0; i < kCommands; ++i) EXPECT_EQ(returnedInOrder[static_cast<size_t>(i)], kCommands - i);
    // The innermost waits its 5000 ms; every READ then finds its wait over, and every PROG
    // waits once more for its read-back.
    EXPECT_GE(ElapsedMsSince(start), 5000u * (1 + kCommands / 2));
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromWrite).size(), 16u * (kCommands / 2));
    // The first PROG to run merges into settings that no whole-memory read has filled yet.
    EXPECT_EQ(host.messages(), (std::vector<Message>{{"EEPROM verification error", "ERROR"}}));
    EXPECT_TRUE(form->Timer1->isActive());  // the outermost found it running
    EXPECT_FALSE(DeviceModel.WatchIdle);

    const uintptr_t used = stackAtDepth[1] - stackAtDepth[kCommands];
    const uintptr_t perLevel = used / (kCommands - 1);
    std::printf("[ nesting  ] %d nested commands: %zu bytes of stack, %zu a level\n", kCommands,
                static_cast<size_t>(used), static_cast<size_t>(perLevel));
    ExpectStackFits(used, kCommands);
}

// The same through Qt's own event delivery: keys posted to the focus widget and delivered by
// QCoreApplication::processEvents inside the host's message processing, as in the program.
class DispatchingHost : public platform::VirtualHost {
public:
    void ProcessMessages() override
    {
        VirtualHost::ProcessMessages();
        QCoreApplication::processEvents();
    }
};

TEST(NestingThroughQt, AThousandPostedKeysNestAndFitTheStack)
{
    constexpr int kCommands = 1000;
    DispatchingHost host;
    platform::ScopedHost installed(host);
    ResetProgramState();
    auto adapter = std::make_shared<sim::AdapterEmulator>(sim::Format2Image());
    host.ListPort("COM3");
    host.ConnectPort("COM3",
                     [&] { return std::make_unique<sim::EmulatedPort>(adapter, [&] { return host.NowMicros(); }); });
    auto form = std::make_unique<TForm1>();
    form->Timer1->stop();  // Qt's own timer runs on real time here: keep its ticks out
    adapter->ClearLog();

    int posted = 0;
    int depth = 0;
    int deepest = 0;
    uintptr_t first = 0;
    uintptr_t last = 0;
    // Counts the commands as the window runs them, and posts the next key from inside each.
    struct Probe : QObject {
        std::function<void()> onKey;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && onKey) onKey();
            return false;
        }
    } probe;
    const auto post = [&] {
        QWidget* target = form->focusWidget() != nullptr ? form->focusWidget() : form.get();
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_R, Qt::NoModifier, "r"));
        ++posted;
    };
    probe.onKey = [&] {
        volatile char here = 0;
        ++depth;
        deepest = std::max(deepest, depth);
        if (depth == 1) first = reinterpret_cast<uintptr_t>(&here);
        if (depth == kCommands) last = reinterpret_cast<uintptr_t>(&here);
        if (posted < kCommands) post();
    };
    qApp->installEventFilter(&probe);  // after the window's filter: it sees the key first
    post();
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&probe);

    EXPECT_EQ(deepest, kCommands);
    EXPECT_EQ(adapter->FramesOf(RequestKind::EepromRead).size(), 4u * kCommands);  // every READ ran
    EXPECT_TRUE(host.messages().empty());
    ASSERT_NE(last, 0u);
    const uintptr_t used = first - last;
    std::printf("[ nesting  ] %d keys through Qt's delivery: %zu bytes of stack, %zu a level\n", kCommands,
                static_cast<size_t>(used), static_cast<size_t>(used / (kCommands - 1)));
    ExpectStackFits(used, kCommands);
    form.reset();
    ResetProgramState();
}

}  // namespace
