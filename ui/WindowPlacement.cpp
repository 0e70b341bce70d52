#include "ui/WindowPlacement.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace tarvel::ui {

WindowPlacement placeInArea(QSize wanted, QSize minimum, const QMargins& frame, const QRect& available)
{
    const QSize room = available.size().shrunkBy(frame);
    const QSize size = wanted.boundedTo(room).expandedTo(minimum);
    const QSize framed = size.grownBy(frame);
    QPoint position = available.center() - QPoint(framed.width() / 2, framed.height() / 2);
    position.setX(std::max(position.x(), available.left()));
    position.setY(std::max(position.y(), available.top()));
    return {position, size};
}

void placeOnScreen(QWidget* window, QSize wanted)
{
    const QScreen* screen = window->screen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                   window->geometry().top() - window->frameGeometry().top(),
                   window->frameGeometry().right() - window->geometry().right(),
                   window->frameGeometry().bottom() - window->geometry().bottom());
    if (frame.isNull()) {
        // Not shown yet: a border of a few pixels on every side, as window
        // systems draw them, and a title bar above.
        const int border = std::max(4, window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
        frame = QMargins(border, border + window->style()->pixelMetric(QStyle::PM_TitleBarHeight), border, border);
    }
    const WindowPlacement placement = placeInArea(wanted, window->minimumSize(), frame, screen->availableGeometry());
    window->resize(placement.size);
    window->move(placement.position);
}

void restorePosition(QWidget* window, QPoint position)
{
    constexpr int kGrip = 40;  // of the title bar that must stay in reach
    const QScreen* screen = QGuiApplication::screenAt(position + QPoint(kGrip, kGrip / 4));
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(std::clamp(position.x(), area.left(), std::max(area.left(), area.right() - kGrip)),
                 std::clamp(position.y(), area.top(), std::max(area.top(), area.bottom() - kGrip)));
}

}  // namespace tarvel::ui
