// How deep keys may nest: what a key may start while a command waits, and how deep that goes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/Main_Tarv_Config.h"
#include "commands/device_watch.h"
#include "gui/form_fixture.h"
#include "support/link_fixture.h"

using namespace commands;

namespace {

using sim::RequestKind;

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
