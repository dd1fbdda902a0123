// Placing windows inside the available area of their screen.
#include "gui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tessaly::gui {

TWindowRect ToWindowRect(const QRect &r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

QRect ToQRect(const TWindowRect &r)
{
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

QRect AvailableArea(const QWidget &widget)
{
    const QScreen *screen = widget.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void PlaceOnScreen(QWidget &window, const QRect &wanted)
{
    const QRect area = AvailableArea(window);
    if (!area.isValid()) {
        window.setGeometry(wanted);
        return;
    }
    // The frame (title bar, borders) is known once the window was shown; it must fit too.
    const QSize frame = window.isVisible() ? window.frameGeometry().size() - window.geometry().size() : QSize();
    const QRect inner = area.adjusted(0, 0, -frame.width(), -frame.height());
    // A window is never made smaller than its layout allows; the layout's minimum is kept
    // small enough for the smallest screens the program supports.
    TWindowRect r = FitIntoArea(ToWindowRect(wanted), ToWindowRect(inner));
    r.Width = std::max(r.Width, window.minimumWidth());
    r.Height = std::max(r.Height, window.minimumHeight());
    window.setGeometry(ToQRect(r));
}

void FitToScreen(QWidget &window, QSize fallback)
{
    QRect wanted = window.geometry();
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Moved)) {
        // Not placed yet: centred on the area at its size (or the fallback size).
        const QSize size = fallback.isValid() ? fallback : window.sizeHint().expandedTo(window.size());
        const QRect area = AvailableArea(window);
        wanted = QRect(QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2),
                       size);
    }
    PlaceOnScreen(window, wanted);
}

} // namespace tessaly::gui
