// One seed of the soak, as tests/support/soak_harness.h describes it.
//
// One emulated KV24 on COM3 has its fault changed at random every 0.7 s: silence; presence
// answers of 0, 2, 3 or two bytes; read answers short by 1-4 bytes or one byte long; a refused
// or an unanswered block; a write that stores one flipped bit; answers late by 45-510 ms, mostly
// around the deadlines. From the end of the first watch tick a person presses P or R every
// 0.8-2 s and answers each message box with OK after a moment. Then the faults stop and one
// more P is pressed.
//
// The harness plays the message loop. Keys are real key events sent to the focus widget, so they
// take the application event filter's way into FormKeyDown. They are delivered wherever the
// program processes messages: in the idle loop, in a blink's pause, in WaitWatchIdle (a key
// pressed while the program polls the wire waits for the next of those). While a message box
// is up, keys go to the box and do nothing. Timer1 fires when it is active and one interval has
// passed since it was last started, in the idle loop and inside message processing alike, as
// a Qt timer does.
#include "support/soak_harness.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/Main_Tarv_Config.h"
#include "commands/device_watch.h"
#include "commands/settings_tables.h"
#include "link/messages.h"
#include "support/link_fixture.h"

using namespace commands;

namespace soak {
namespace {

using sim::AdapterOptions;
using sim::RequestKind;

constexpr uint64_t kMs = 1000;  // the virtual clock counts microseconds
constexpr int32_t kToday = 46000;
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

}  // namespace

SeedReport RunSeed(uint64_t seed, int faultSeconds, bool keepWholeTrace)
{
    return SoakRun(seed, faultSeconds, keepWholeTrace).Run();
}

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

uint64_t EnvNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

}  // namespace soak
