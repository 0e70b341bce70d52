// Where the main window opens: its stored size where the screen has room for
// it, and always with the title bar and the menu in reach.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace tarvel::ui {

struct WindowPlacement {
    QPoint position;  // of the frame's top-left corner, as QWidget::move() takes it
    QSize size;       // of the window without its frame, as QWidget::resize() takes it
};

// A window of size `wanted` (at least `minimum`) with a frame of `frame` in the
// area `available`: the size stays where the framed window fits, otherwise it
// is cut to the area (never below minimum); the framed window is centred, and
// never starts above or left of the area.
WindowPlacement placeInArea(QSize wanted, QSize minimum, const QMargins& frame, const QRect& available);

// Resizes and moves a top-level window so on its screen's available area. The
// frame is the window system's one where known, otherwise an allowance for a
// title bar.
void placeOnScreen(QWidget* window, QSize wanted);

// Moves a top-level window back to where its frame stood, when the start of
// its title bar is then on a screen (a monitor unplugged since leaves it
// where it is), kept within that screen's available area.
void restorePosition(QWidget* window, QPoint position);

}  // namespace tarvel::ui
