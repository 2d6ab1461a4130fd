// Stops a timer for a scope and gives it back the running state it had: the watch tick and the
// commands share Timer1 this way, each pausing it for its own duration.
#pragma once

#include <QTimer>

class TimerPause {
public:
    explicit TimerPause(QTimer& timer) : timer_(timer), wasActive_(timer.isActive()) { timer_.stop(); }
    ~TimerPause()
    {
        if (wasActive_) timer_.start();
    }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

private:
    QTimer& timer_;
    const bool wasActive_;
};
