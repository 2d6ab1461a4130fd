// How the windows look: fonts, colours, pictures, tool-tip timing and the names that assistive
// technology reads for controls that show only a picture.
#pragma once

#include <QColor>

class QAbstractButton;
class QLabel;
class QWidget;

namespace looks {

// The window font: "MS Reference Sans Serif" at 13 pixels, or the nearest font available.
void ApplyWindowFont(QWidget* widget);
// PROG and READ: the window font at 11 pixels, bold.
void ApplyButtonFont(QWidget* widget);
void MakeBold(QWidget* widget);
void Paint(QWidget* panel, const QColor& colour);
void SetPictures(QAbstractButton* prog, QAbstractButton* read, QAbstractButton* port, QLabel* logo);
// A control without text is announced by its tool-tip.
void NameFromToolTip(QWidget* widget);
// Tool-tips show `showMs` after the pointer rests and hide `hideMs` later, application-wide.
void SetToolTipTimes(QWidget* window, int showMs, int hideMs);

}  // namespace looks
