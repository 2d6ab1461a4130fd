#include "app/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

void CentreOnDesktop(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // The native window knows the size of its frame before it is shown where the platform can
    // tell that early (Windows); under X11 the window manager adds the frame only once it is shown.
    window.winId();
    const QMargins frame = window.windowHandle() != nullptr ? window.windowHandle()->frameMargins() : QMargins();
    const QRect framed = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size().grownBy(frame),
                                             screen->availableGeometry());
    // The window's geometry is its client area, inside the frame.
    window.setGeometry(QRect(framed.topLeft() + QPoint(frame.left(), frame.top()), window.size()));
}
