#include "app/left_click.h"

#include <QMouseEvent>
#include <QWidget>

LeftClickFilter::LeftClickFilter(QWidget* target, std::function<void()> onClick)
    : QObject(target), target_(target), onClick_(std::move(onClick))
{
    target->installEventFilter(this);
}

bool LeftClickFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != target_) return false;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) leftPressed_ = true;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto* release = static_cast<QMouseEvent*>(event);
        if (release->button() != Qt::LeftButton) return false;
        // A press dragged off the control and released elsewhere is no click, as on a button.
        const bool click = leftPressed_ && target_->rect().contains(release->position().toPoint());
        leftPressed_ = false;
        if (click) onClick_();
    }
    return false;  // the control and its parents see every event as before
}
