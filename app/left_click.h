// Clicks on a control that has no click of its own (a picture), counted as a button counts them.
#pragma once

#include <QObject>
#include <functional>

class QWidget;

// A click is a left press on the control and the left release over it. The second press of a
// double click arrives as a double-click event and starts no click, so a double click is one click.
class LeftClickFilter : public QObject {
public:
    // Watches `target` for as long as it lives and calls `onClick` for each click.
    LeftClickFilter(QWidget* target, std::function<void()> onClick);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* target_;
    std::function<void()> onClick_;
    bool leftPressed_ = false;
};
