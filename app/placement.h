// Where the main window first appears.
#pragma once

class QWidget;

// Centres the window with its frame (title bar and borders) on the primary screen's work area,
// the desktop without the task bar. Call it before the window is first shown.
void CentreOnDesktop(QWidget& window);
